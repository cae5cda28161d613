#include "app/prompter.h"

#include <QMessageBox>
#include <QString>

namespace {

class MessageBoxPrompter final : public CPrompter {
public:
    void Inform(QWidget* parent, const QString& text) override
    {
        QMessageBox::information(parent, QStringLiteral("Tessaline"), text);
    }
};

CPrompter* installed = nullptr;

} // namespace

CPrompter& Prompter()
{
    static MessageBoxPrompter onScreen;
    return installed ? *installed : onScreen;
}

void SetPrompter(CPrompter* prompter)
{
    installed = prompter;
}
