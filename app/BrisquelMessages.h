#pragma once

#include <QString>

#include <functional>

// Every message box and input box of the program goes through here, with the
// program's captions and button texts. Tests answer through the prompt hook.

enum class PromptKind { Error, Warning, Information, Plain, Confirmation, Input };

struct PromptRequest
{
    PromptKind kind;
    QString caption;
    QString text;
    QString defaultText; // input boxes only
};

struct PromptReply
{
    bool accepted = false; // "是(&Y)" or "确定"
    QString text;          // input boxes only
};

using PromptHook = std::function<PromptReply(const PromptRequest &)>;

// Installs a hook that answers every prompt instead of a user; an empty hook
// restores the real boxes.
void setPromptHook(PromptHook hook);

// Text of a program message code (101 to 105, 65229, 65230).
QString programMessage(int code);

// Error box: error icon, caption "错误", one button "确定".
void ShowErrorBox(const QString &text);
// The text of a message code and, when given, LF CR and the detail.
void ShowProgramError(int code, const QString &detail = QString());
// Plain message with the application title as caption and one button.
void ShowMessage(const QString &text);
// Information box, caption "信息".
void ShowInformation(const QString &text);
// Warning box, caption "警告".
void ShowWarning(const QString &text);
// Yes/No box, caption "确认"; only "是(&Y)" confirms.
bool ConfirmYesNo(const QString &text);
// Small input box with "确定" and "取消"; cancelling returns defaultText.
QString InputBox(const QString &caption, const QString &prompt, const QString &defaultText);
// The same box opened with text; false when it was cancelled, leaving text
// as it was.
bool InputQuery(const QString &caption, const QString &prompt, QString &text);
