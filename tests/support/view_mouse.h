// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Widget tests use the main view's list as a user does: by the names shown and with the mouse.

#include "browse/remote_view.h"

#include <QAbstractItemView>
#include <QStringList>
#include <QTest>

inline QStringList Names(const CTessalinev3View& view)
{
    QStringList names;
    for (int row = 0; row < view.RowCount(); ++row)
        names << view.TextAt(row, CTessalinev3View::kName);
    return names;
}

// Where the user points at an item: the middle of its name.
inline QPoint NameCell(CTessalinev3View& view, const QString& name)
{
    QAbstractItemView* list = view.ActiveList();
    return list->visualRect(list->model()->index(Names(view).indexOf(name), 0)).center();
}

inline void Click(CTessalinev3View& view, const QString& name, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(view.ActiveList()->viewport(), Qt::LeftButton, modifiers, NameCell(view, name));
}

// A double-click as the window system delivers it.
inline void DoubleClick(CTessalinev3View& view, const QString& name)
{
    QWidget* viewport = view.ActiveList()->viewport();
    const QPoint at = NameCell(view, name);
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}
