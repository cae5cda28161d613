// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// COptionsPage: one page of the options sheet. The sheet runs the page's check when the user
// leaves it and before OK or Apply, and its store steps on OK and Apply once the page has been
// shown; until then a page's values live only in its controls. A page says when the user changed
// one of them (`edited`), which enables Apply.

#include "ui/program_icons.h"

#include <QWidget>

class QGroupBox;
class QLineEdit;
class QString;

class COptionsPage : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(COptionsPage)

public:
    explicit COptionsPage(QWidget* parent = nullptr);

    // False after telling the user what is wrong and focusing the field that holds it.
    virtual bool CheckInput() { return true; }
    // What OK stores into the settings.
    virtual void StoreOnOk() {}
    // What Apply stores: the same as OK unless the page does more.
    virtual void StoreOnApply() { StoreOnOk(); }

signals:
    // The user changed a value on the page.
    void edited();

protected:
    // The "Tip" box that opens each page: a program picture beside a fixed text.
    QGroupBox* NewTipBox(ProgramIconId programIcon, const QString& text);
    // True when `field` holds a whole number from `lowest` to `highest`; otherwise the user is
    // told "Please enter an integer." (or the range) and the field is focused with its text
    // selected.
    bool CheckInteger(QLineEdit& field, int lowest, int highest);
    // The number in a field that passed CheckInteger.
    static int Integer(const QLineEdit& field);
    // Makes every text field, check box and radio button of the page report the user's changes
    // as `edited`; called once the page is filled, so that filling it counts for nothing.
    void ReportEdits();
};
