// Places and kinds of controls, in twips as the tools' definitions give them,
// and the lookup of a declared control by one of its fields.
#pragma once

#include <algorithm>
#include <memory>

namespace tessel::client {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool empty() const { return width == 0 && height == 0; }
};

enum class BoxKind {
    Line,       // a single-line text box
    MultiLine,  // a multi-line text box with a vertical scroll bar
    RichText,   // a multi-line rich-text box
};

// The first of `items` whose `field` equals `key`, or null.
template <class Items, class Field, class Key>
auto FindBy(const Items& items, Field field, const Key& key)
{
    const auto found = std::ranges::find(items, key, field);
    return found == std::ranges::end(items) ? nullptr : std::addressof(*found);
}

}  // namespace tessel::client
