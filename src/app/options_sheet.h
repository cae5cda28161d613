// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// COptionsSheet ("Options"): the pages "Program Options", "Transfer Options", "Display Options" and
// "Firewall Options" over the in-memory settings, filled from them when the sheet is built.
//
// A page's check runs when the user leaves it and before OK or Apply; a failed check keeps the
// sheet on that page. Apply (enabled by a change on any page) stores the pages shown so far, as OK
// does, and what it stored stays after Cancel. OK stores the pages shown, then the download
// directory. After either, `settingsStored` asks for the settings file to be written.

#include <QDialog>

#include <array>
#include <functional>

class COptionsPage;
class CSettings;
class CTransOptions;
class QPushButton;
class QTabWidget;

class COptionsSheet final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(COptionsSheet)

public:
    // `showDefaultView` puts the main view in the "Default View" style, with its toolbar button
    // pressed, once OK or Apply on the Display Options page has stored it.
    COptionsSheet(CSettings& settings, QWidget* parent, std::function<void()> showDefaultView);

signals:
    void settingsStored();

public slots:
    void accept() override;

private:
    static constexpr int kPageCount = 4;

    void ChangePage(int index);
    void Apply();
    void ShowHelp();

    CSettings& settings;
    QTabWidget* tabs = nullptr;
    QPushButton* applyButton = nullptr;
    CTransOptions* transOptions = nullptr;
    std::array<COptionsPage*, kPageCount> pages{};
    // A page stores its values only once the user has seen it; the sheet opens on the first.
    std::array<bool, kPageCount> shown{true, false, false, false};
    int activeIndex = 0;
};
