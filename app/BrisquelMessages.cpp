#include "app/BrisquelMessages.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

PromptHook &hook()
{
    static PromptHook value;
    return value;
}

bool haveWidgets()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

QMessageBox::Icon iconOf(PromptKind kind)
{
    switch (kind) {
    case PromptKind::Error:
        return QMessageBox::Critical;
    case PromptKind::Warning:
        return QMessageBox::Warning;
    case PromptKind::Information:
        return QMessageBox::Information;
    case PromptKind::Confirmation:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

PromptReply runMessageBox(const PromptRequest &request)
{
    QMessageBox box(iconOf(request.kind), request.caption, request.text);
    if (request.kind == PromptKind::Confirmation) {
        QPushButton *yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return PromptReply{box.clickedButton() == yes, QString()};
    }
    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return PromptReply{true, QString()};
}

PromptReply runInputBox(const PromptRequest &request)
{
    QDialog dialog;
    dialog.setWindowTitle(request.caption);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(request.text, &dialog));
    auto *edit = new QLineEdit(request.defaultText, &dialog);
    edit->selectAll();
    layout->addWidget(edit);
    auto *buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return PromptReply{accepted, accepted ? edit->text() : request.defaultText};
}

PromptReply ask(const PromptRequest &request)
{
    if (hook())
        return hook()(request);
    if (!haveWidgets()) {
        // No user interface to ask in: report and take the safe answer.
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(request.caption), qUtf8Printable(request.text));
        return PromptReply{request.kind != PromptKind::Confirmation && request.kind != PromptKind::Input,
                           request.defaultText};
    }
    return request.kind == PromptKind::Input ? runInputBox(request) : runMessageBox(request);
}

} // namespace

void setPromptHook(PromptHook value)
{
    hook() = std::move(value);
}

QString programMessage(int code)
{
    switch (code) {
    case 101:
        return QStringLiteral("Error creating project");
    case 102:
        return QStringLiteral("Project already existent");
    case 103:
        return QStringLiteral("No Task Selected");
    case 104:
        return QStringLiteral("No Project Selected");
    case 105:
        return QStringLiteral("Error loading project");
    case 65229:
        return QStringLiteral("Allarm time is previous than current time, allarm disabled!");
    case 65230:
        return QStringLiteral("Autoshow time is previous than current time, autoshow disabled!");
    default:
        return QString();
    }
}

void ShowErrorBox(const QString &text)
{
    ask(PromptRequest{PromptKind::Error, QStringLiteral("错误"), text, QString()});
}

void ShowProgramError(int code, const QString &detail)
{
    QString text = programMessage(code);
    if (!detail.isEmpty())
        text += QStringLiteral("\n\r") + detail;
    ShowErrorBox(text);
}

void ShowMessage(const QString &text)
{
    const QString caption = QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
    ask(PromptRequest{PromptKind::Plain, caption, text, QString()});
}

void ShowInformation(const QString &text)
{
    ask(PromptRequest{PromptKind::Information, QStringLiteral("信息"), text, QString()});
}

void ShowWarning(const QString &text)
{
    ask(PromptRequest{PromptKind::Warning, QStringLiteral("警告"), text, QString()});
}

bool ConfirmYesNo(const QString &text)
{
    return ask(PromptRequest{PromptKind::Confirmation, QStringLiteral("确认"), text, QString()}).accepted;
}

QString InputBox(const QString &caption, const QString &prompt, const QString &defaultText)
{
    const PromptReply reply = ask(PromptRequest{PromptKind::Input, caption, prompt, defaultText});
    return reply.accepted ? reply.text : defaultText;
}

bool InputQuery(const QString &caption, const QString &prompt, QString &text)
{
    const PromptReply reply = ask(PromptRequest{PromptKind::Input, caption, prompt, text});
    if (reply.accepted)
        text = reply.text;
    return reply.accepted;
}
