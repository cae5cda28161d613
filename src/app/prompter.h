#pragma once
// Every message box of the program goes through the current prompter, so tests can read what the
// user would be told and answer in the user's place.

class QString;
class QWidget;

class CPrompter {
public:
    virtual ~CPrompter() = default;
    // A message box with the text and an OK button.
    virtual void Inform(QWidget* parent, const QString& text) = 0;
};

// The prompter in use: message boxes on screen unless a test installed its own.
CPrompter& Prompter();
// Installs `prompter` (not owned) in place of the message boxes; nullptr restores them.
void SetPrompter(CPrompter* prompter);
