// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSitePropertiesDialog ("Properties"): edits one site profile for New Site and for the Properties
// command. It only collects input: the caller copies it into the profile (ApplyTo) when the
// dialog ends with "Save/Exit" or "Save/Connect", and connects after "Save/Connect". The icon
// button changes the program's current site icon in place.

#include "sites/profiles/site_profile.h"

#include <QDialog>

#include <string>

struct CurrentSiteIcon;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

class CSitePropertiesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSitePropertiesDialog)

public:
    // How the dialog was closed, in `closeAction`.
    enum CloseAction : int { kSaveExit = 0, kSaveConnect = 1, kCancel = 2 };

    // `email` is the "e-mail" setting that an anonymous login uses as its password.
    CSitePropertiesDialog(CurrentSiteIcon& currentSiteIcon, const std::string& email, QWidget* parent = nullptr);

    // Fills the dialog from `profile`; a user ID of "anonymous" ticks the anonymous box.
    void SetProfile(const CSiteProfile& profile);
    // Copies profile name, host, user ID, password, remote directory, save password, use
    // firewall, prompt, comment, encryption and protocol as entered when the dialog was saved.
    void ApplyTo(CSiteProfile& profile) const;

    int closeAction = kCancel;

public slots:
    void reject() override;

private:
    void Save(CloseAction action);
    void ChooseIcon();

    CurrentSiteIcon& currentSiteIcon;
    const QString email;
    CSiteProfile entered;  // the values as of opening, then as of the save
    QLineEdit* profileName = nullptr;
    QLineEdit* host = nullptr;
    QLineEdit* userId = nullptr;
    QLineEdit* password = nullptr;
    QCheckBox* anonymous = nullptr;
    QCheckBox* savePassword = nullptr;
    QLineEdit* remoteDirectory = nullptr;
    QCheckBox* useFirewall = nullptr;
    QCheckBox* prompt = nullptr;
    QComboBox* encryption = nullptr;
    QComboBox* protocol = nullptr;
    QPlainTextEdit* comment = nullptr;
    QToolButton* iconButton = nullptr;
};
