// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every message box and every modal dialog of the program goes through the current prompter, so
// tests can read what the user would be told and answer in the user's place.

#include <string>

class QDialog;
class QString;
class QWidget;

class CPrompter {
public:
    virtual ~CPrompter() = default;
    // A message box with the text and an OK button.
    virtual void Inform(QWidget* parent, const QString& text) = 0;
    // A question with Yes and No buttons and a question icon; true for Yes. No is the default,
    // unless `yesIsDefault` (a question whose Yes loses nothing).
    virtual bool Ask(QWidget* parent, const QString& text, const QString& caption, bool yesIsDefault) = 0;
    bool Ask(QWidget* parent, const QString& text, const QString& caption) { return Ask(parent, text, caption, false); }
    // The same question for one item of several (a dropped file that would replace one on the
    // server): "to All" answers it for the items still to come as well. No is the default.
    enum class BatchAnswer { Yes, YesToAll, No, NoToAll };
    virtual BatchAnswer AskForBatch(QWidget* parent, const QString& text, const QString& caption) = 0;
    // The warning sound that goes with a refused input.
    virtual void Beep() = 0;
    // Runs `dialog` modally and returns its result code (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog& dialog) = 0;
    // The program's guide at the section a help context number stands for (0: the contents).
    virtual void ShowHelp(QWidget* parent, int context) = 0;
    // The desktop's file chooser for one existing file; an empty text when the user cancels.
    virtual QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& start) = 0;
    // The desktop's folder chooser; true with `path` replaced by the chosen directory, false with
    // `path` unchanged when the user cancels.
    virtual bool ChooseFolder(QWidget* parent, std::string& path) = 0;
};

// The prompter in use: real message boxes and dialogs unless a test installed its own.
CPrompter& Prompter();
// Installs `prompter` (not owned) in place of the real one; nullptr restores it.
void SetPrompter(CPrompter* prompter);
