// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of the menu bar and the toolbar: their texts and images, and the order in which
// menus and toolbar show them. The ids are in ui/command_ids.h.

#include "ui/command_ids.h"

#include <vector>

struct CommandInfo {
    CommandId id;
    const char* menuText;        // nullptr: on the toolbar only
    const char* toolTip;         // nullptr: in a menu only
    const char* image;           // toolbar image in the resources, nullptr: in a menu only
    const char* keys = nullptr;  // shortcuts in portable text, "; " between alternatives
};

struct MenuLayout {
    const char* title;
    std::vector<CommandId> entries;
};

const std::vector<CommandInfo>& AllCommands();
const std::vector<MenuLayout>& MenuBarLayout();
const std::vector<CommandId>& ToolbarSlots();
// The toolbar's check group, in toolbar order.
const std::vector<CommandId>& ViewStyleCommands();
