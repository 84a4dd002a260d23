// Places of controls, in twips as the tools' definitions give them.
#pragma once

namespace tessel::client {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool empty() const { return width == 0 && height == 0; }
};

}  // namespace tessel::client
