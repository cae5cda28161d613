// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CBitmapDialog: a dialog whose background is a bitmap of the program's resources, drawn unscaled
// from its top-left corner. Labels have no background of their own, so their text sits directly
// on the picture.

#include <QDialog>
#include <QImage>

class CDIB;

// The bitmap as an image to paint: the same pixels, top row first.
QImage DibImage(const CDIB& dib);

class CBitmapDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CBitmapDialog)

public:
    // Loads the bitmap resource `bitmapName` (":/splash/" + name). A missing or unreadable one
    // leaves a black 459 x 250 picture; nothing is reported.
    CBitmapDialog(const QString& bitmapName, QWidget* parent);

    const QImage& Background() const { return background; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage background;
};
