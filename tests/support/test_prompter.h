// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A prompter for widget tests: it records every message and question, answers questions from a
// queue (No when the queue is empty), and hands each modal dialog to the test.

#include "ui/prompter.h"

#include <QDialog>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

class TestPrompter final : public CPrompter {
public:
    TestPrompter() { SetPrompter(this); }
    ~TestPrompter() override { SetPrompter(nullptr); }
    TestPrompter(const TestPrompter&) = delete;
    TestPrompter& operator=(const TestPrompter&) = delete;

    void Inform(QWidget*, const QString& text) override { informed.push_back(text); }
    bool Ask(QWidget*, const QString& text, const QString& caption, bool yesIsDefault) override
    {
        asked.push_back(caption + (yesIsDefault ? " (Yes): " : ": ") + text);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    BatchAnswer AskForBatch(QWidget*, const QString& text, const QString& caption) override
    {
        asked.push_back(caption + ": " + text);
        if (batchAnswers.empty())
            return BatchAnswer::No;
        const BatchAnswer answer = batchAnswers.front();
        batchAnswers.pop_front();
        return answer;
    }
    void Beep() override { ++beeps; }
    // A test's handler fills in and closes the dialog and returns its result; without one the
    // dialog runs for real (the waiting dialogs close themselves when their worker ends).
    int Exec(QDialog& dialog) override
    {
        dialogs.push_back(dialog.windowTitle());
        if (onDialog)
            return onDialog(dialog);
        return dialog.exec();
    }

    void ShowHelp(QWidget*, int context) override { helpShown.push_back(context); }
    QString ChooseOpenFile(QWidget*, const QString& title, const QString&, const QString&) override
    {
        dialogs.push_back(title);
        return chosenFile;
    }
    bool ChooseFolder(QWidget*, std::string& path) override
    {
        if (chosenFolder.isEmpty())
            return false;
        path = chosenFolder.toStdString();
        return true;
    }

    std::vector<QString> informed;
    std::vector<QString> asked;  // "caption: text"
    std::deque<bool> answers;
    std::deque<BatchAnswer> batchAnswers;  // for AskForBatch; No when empty
    int beeps = 0;
    std::vector<QString> dialogs;  // window titles of the dialogs run, in order
    std::function<int(QDialog&)> onDialog;
    QString chosenFile;          // what the file chooser returns (empty: cancelled)
    QString chosenFolder;        // what the folder chooser returns (empty: cancelled)
    std::vector<int> helpShown;  // help contexts asked for
};
