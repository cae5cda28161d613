// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commands.h"

const std::vector<CommandInfo>& AllCommands()
{
    static const std::vector<CommandInfo> commands = {
        {CommandId::NewGroup, "New Group...", nullptr, nullptr, "Ctrl+Shift+N"},
        {CommandId::NewSite, "New Site...", "New Profile", ":/icons/new_site.svg", "Ctrl+N"},
        {CommandId::QuickConnect, "Quick Connect...", nullptr, nullptr},
        {CommandId::Exit, "E&xit", nullptr, nullptr, "Ctrl+Q"},
        {CommandId::CreateDirectory, "Create Directory...", nullptr, nullptr},
        {CommandId::Delete, "&Delete", "Delete", ":/icons/delete.svg", "Del"},
        {CommandId::Properties, "&Properties...", nullptr, nullptr},
        {CommandId::Rename, "Rename...", nullptr, nullptr, "F2"},
        {CommandId::Permissions, "Permissions...", nullptr, nullptr},
        {CommandId::Download, "Do&wnload...", "Download", ":/icons/download.svg", "Ctrl+Shift+D"},
        {CommandId::Upload, "&Upload...", "Upload", ":/icons/upload.svg", "Ctrl+Shift+U"},
        {CommandId::UploadDirectory, "Upload Director&y...", nullptr, nullptr},
        {CommandId::LargeIcons, "&Large Icons", "Large Icons", ":/icons/large_icons.svg"},
        {CommandId::SmallIcons, "Small Icons", "Small Icons", ":/icons/small_icons.svg"},
        {CommandId::List, "L&ist", "List View", ":/icons/list.svg"},
        {CommandId::Details, "Details", "Detail", ":/icons/details.svg"},
        {CommandId::Options, "&Options...", nullptr, nullptr},
        {CommandId::Refresh, "Refresh", "Refresh Directory.", ":/icons/refresh.svg", "F5"},
        {CommandId::UpOneLevel, nullptr, "Up One Level", ":/icons/up_one_level.svg", "Alt+Up; Backspace"},
        {CommandId::Disconnect, nullptr, "Disconnect", ":/icons/disconnect.svg", "Ctrl+D"},
        {CommandId::Help, "Help...", nullptr, nullptr, "F1"},
        {CommandId::About, "About Tessaline...", nullptr, nullptr},
    };
    return commands;
}

const std::vector<MenuLayout>& MenuBarLayout()
{
    using enum CommandId;
    static const std::vector<MenuLayout> menus = {
        {"&File", {NewGroup, NewSite, None, QuickConnect, None, Exit}},
        {"&Edit",
         {Download, Upload, UploadDirectory, None, CreateDirectory, Delete, None, Properties, Rename, Permissions}},
        {"&View", {LargeIcons, SmallIcons, List, Details, None, Options, None, Refresh}},
        {"&Help", {Help, About}},
    };
    return menus;
}

const std::vector<CommandId>& ToolbarSlots()
{
    using enum CommandId;
    static const std::vector<CommandId> toolbar = {
        NewSite, None,   UpOneLevel, Refresh,    Disconnect, None, Download,
        Upload,  Delete, None,       LargeIcons, SmallIcons, List, Details,
    };
    return toolbar;
}

const std::vector<CommandId>& ViewStyleCommands()
{
    using enum CommandId;
    static const std::vector<CommandId> group = {LargeIcons, SmallIcons, List, Details};
    return group;
}
