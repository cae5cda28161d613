#pragma once
// The commands of the menu bar and the toolbar: ids shared by both, their texts and images, and
// the order in which menus and toolbar show them.

#include <vector>

enum class CommandId : int {
    None = 0,  // a separator in the layouts below
    UpOneLevel = 32772,
    Disconnect = 32780,
    NewSite = 32785,
    SmallIcons = 32792,
    List = 32793,
    Details = 32794,
    LargeIcons = 32795,
    Options = 32796,
    Refresh = 32798,
    Rename = 32804,
    Permissions = 32806,
    NewGroup = 32807,
    CreateDirectory = 32811,
    Delete = 32812,
    QuickConnect = 32814,
    Properties = 33005,
    About = 57664,
    Exit = 57665,
    Help = 57670,
};

struct CommandInfo {
    CommandId id;
    const char* menuText;  // nullptr: on the toolbar only
    const char* toolTip;   // nullptr: in a menu only
    const char* image;     // toolbar image in the resources, nullptr: in a menu only
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
