// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ids of the program's commands, named once for the menu bar and the toolbar (app/commands.h)
// and for the main view's context menu and keys, which ask the main window to run them.

enum class CommandId : int {
    None = 0,          // a separator in the menu and toolbar layouts
    OpenEntry = 3402,  // the context menu's "Open" of a remote entry; the view runs it itself
    UpOneLevel = 32772,
    ConnectTo = 32779,  // the context menu's "Connect to" of a site; the view runs it itself
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
    Download = 33101,
    Upload = 33102,
    UploadDirectory = 33103,
    About = 57664,
    Exit = 57665,
    Help = 57670,
};
