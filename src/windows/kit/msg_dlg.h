#pragma once
// CMsgDlg and CMsgBox: the program's one message dialog.
//
// CMsgBox::Show(parent, text, caption, type) shows `text` under `caption` in a skinned dialog
// with OK (type kOk) or OK and Cancel (type kOkCancel), centred on the parent's window (or the
// screen), and returns the button pressed: kIdOk (1) or kIdCancel (2; also the dialog's close
// button). Failures use the caption CMsgBox::kErrorCaption ("ERROR"). Enter and Escape do not
// close it.
//
// Tests answer it without a modal loop: setTestHook() receives each dialog, fully built, and
// returns the answer; setAutoAnswer() records every message (takeShown()) and answers with a
// fixed button.
#include "windows/kit/skin_dialog.h"

#include <QList>
#include <QString>
#include <functional>

class QLabel;

namespace ravir {

class CSkinButton;

class CMsgDlg : public CSkinDialog {
    Q_OBJECT
    // Screen readers announce it as an alert: its caption, then its text.
    Q_CLASSINFO("AccessibleRole", "AlertMessage")
public:
    CMsgDlg(const QString& text, const QString& caption, int type, QWidget* parent = nullptr);

    QString text() const { return text_; }
    QString caption() const { return windowTitle(); }
    int type() const { return type_; }
    CSkinButton* okButton() const { return ok_; }
    CSkinButton* cancelButton() const { return cancel_; }  // null for type kOk
    QLabel* textLabel() const { return label_; }
    int result() const { return QDialog::result(); }

protected:
    void paintBody(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButtons();

    QString text_;
    int type_;
    QLabel* label_ = nullptr;
    CSkinButton* ok_ = nullptr;
    CSkinButton* cancel_ = nullptr;
};

class CMsgBox {
public:
    enum Type { kOk = 0, kOkCancel = 1 };
    enum Result { kIdOk = 1, kIdCancel = 2 };
    static inline const QString kErrorCaption = QStringLiteral("ERROR");

    struct Shown {
        QString text;
        QString caption;
        int type = kOk;
    };
    using Hook = std::function<int(CMsgDlg&)>;

    static int Show(QWidget* parent, const QString& text, const QString& caption, int type = kOk);
    // An error message: caption "ERROR", OK only.
    static int Error(QWidget* parent, const QString& text) { return Show(parent, text, kErrorCaption, kOk); }

    static void setTestHook(Hook hook);  // an empty hook restores the modal dialog
    static void setAutoAnswer(int answer);  // 0 turns it off
    static QList<Shown> takeShown();
};

}  // namespace ravir
