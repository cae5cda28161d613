// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bitmap_dialog.h"

#include "app/bitmap/dib.h"

#include <QFile>
#include <QPainter>

#include <sstream>
#include <string>

namespace {

CDIB LoadBitmapResource(const QString& name)
{
    CDIB dib;
    dib.Create(459, 250);
    QFile resource(QStringLiteral(":/splash/") + name);
    if (resource.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = resource.readAll();
        std::istringstream file(bytes.toStdString());
        dib.Read(file);  // a failed read keeps the black picture made above
    }
    return dib;
}

}  // namespace

QImage DibImage(const CDIB& dib)
{
    QImage image(dib.Width(), dib.Height(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < dib.Height(); ++y)
        dib.ExpandRow(y, reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    return image;
}

CBitmapDialog::CBitmapDialog(const QString& bitmapName, QWidget* parent)
    : QDialog(parent)
    , background(DibImage(LoadBitmapResource(bitmapName)))
{}

void CBitmapDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, background);
}
