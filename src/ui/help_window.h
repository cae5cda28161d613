// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's guide in one window of its own for the run. It is usable beside any modal dialog:
// a modal dialog that would block it takes it as its own companion window instead, so the guide a
// dialog's Help button opens can be read and scrolled while the dialog waits.

class QWidget;

// Opens the window (or brings it forward) at the section for the help context number.
void ShowHelpWindow(int context);
// The window while it is open, else nullptr.
QWidget* HelpWindow();
