// The definitions of one family of tools linked into a program. Each tool's
// definition file registers a maker at start-up (a constant's initialiser);
// the makers run once, at the first lookup, and what they make is prepared
// (laid out, checked) by the family's own rule.
#pragma once

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace tessel::client {

template <class Definition>
class DefinitionRegistry {
public:
    using Make = Definition (*)();
    using Prepare = Definition (*)(Definition);

    explicit DefinitionRegistry(Prepare prepare = nullptr) : prepare_(prepare) {}

    // Returns true so that it can initialise a constant.
    bool Register(Make make)
    {
        makers_.push_back(make);
        return true;
    }
    // Every registered definition, prepared, ordered by program name.
    const std::vector<const Definition*>& All()
    {
        if (made_.size() != makers_.size()) {
            made_.clear();
            sorted_.clear();
            for (const Make make : makers_) {
                made_.push_back(std::make_unique<Definition>(prepare_ ? prepare_(make()) : make()));
                sorted_.push_back(made_.back().get());
            }
            std::sort(sorted_.begin(), sorted_.end(),
                      [](const Definition* a, const Definition* b) { return a->program < b->program; });
        }
        return sorted_;
    }
    // The definition of that program name, or null.
    const Definition* Find(std::string_view program)
    {
        for (const Definition* d : All())
            if (d->program == program)
                return d;
        return nullptr;
    }

private:
    Prepare prepare_;
    std::vector<Make> makers_;
    std::vector<std::unique_ptr<Definition>> made_;
    std::vector<const Definition*> sorted_;
};

}  // namespace tessel::client
