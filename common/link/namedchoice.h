// SPDX-License-Identifier: MIT
#pragma once

// One of a setting's choices, with the words a menu shows for it and the
// word the command line takes.
template<typename T>
struct NamedChoice
{
    T value;
    const char *menu;
    const char *option;
};
