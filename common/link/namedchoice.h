// SPDX-License-Identifier: MIT
#pragma once

#include <QLatin1String>
#include <QString>

#include <iterator>

// One of a setting's choices, with the words a menu shows for it and the
// word the command line takes.
template<typename T>
struct NamedChoice
{
    T value;
    const char *menu;
    const char *option;
};

// Where `value` stands among `names`; 0, the first, when it is none.
template<typename Names, typename T>
int choiceIndex(const Names &names, T value)
{
    for (int i = 0; i < int(std::size(names)); ++i)
        if (names[i].value == value)
            return i;
    return 0;
}

// The choice among `names` whose command-line word is `word`; the first
// when none is.
template<typename Names>
const auto &choiceByWord(const Names &names, const QString &word)
{
    for (const auto &name : names)
        if (word == QLatin1String(name.option))
            return name;
    return names[0];
}
