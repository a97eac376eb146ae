// Qt's own dialogs in the language of the texts: the folder chooser the program opens (Qt's
// dialog, as on a desktop without a native one) and the file chooser show English buttons and
// labels with LANGUAGE=en, and Japanese ones (Qt's translation) with LANGUAGE=ja. English runs
// first: Qt's translation stays installed for the rest of the process.
#include "shell/display_prefs.h"
#include "shell/ini_file.h"
#include "windows/kit/remembered_folder.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace ravir;

namespace {

// The texts of the first Qt file dialog that `open` shows (its buttons, then its labels),
// read once it is on screen; the dialog is then cancelled.
QStringList chooserTexts(const std::function<void()>& open, QStringList* labels)
{
    QStringList buttons;
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (!seen) {
            seen = true;
            for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>())
                for (QAbstractButton* b : box->buttons())
                    if (b->isVisible())
                        buttons << b->text();
            for (QLabel* l : dialog->findChildren<QLabel*>())
                if (l->isVisible() && !l->text().isEmpty())
                    *labels << l->text();
        }
        dialog->reject();
    });
    // Never wait for ever on a dialog that did not come.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    poll.start();
    giveUp.start(20000);
    open();
    return seen ? buttons : QStringList{};
}

bool hasJapanese(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() >= 0x3040)  // kana and ideographs
            return true;
    return false;
}

bool isPlainAscii(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return !s.isEmpty();
}

}  // namespace

class QtDialogLanguageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(config_.isValid());
        setStartupFolder(config_.path());
    }

    void englishFirst()
    {
        chooseLanguage("en", MessageLanguage::English);
        QStringList labels;
        const QStringList buttons = chooserTexts(
            [] { ChooseRememberedFolder(nullptr, QStringLiteral("TEST"), QStringLiteral("DIR"),
                                        QStringLiteral("Folder")); },
            &labels);
        QVERIFY2(buttons.size() >= 2, qPrintable(buttons.join(u'|')));
        for (const QString& t : buttons + labels)
            QVERIFY2(isPlainAscii(t), qPrintable(t));
        QVERIFY2(buttons.contains(QStringLiteral("Cancel")), qPrintable(buttons.join(u'|')));
    }

    void japaneseAfter()
    {
        chooseLanguage("ja", MessageLanguage::Japanese);
        for (const bool folder : {true, false}) {
            QStringList labels;
            const QStringList buttons = chooserTexts(
                [folder] {
                    if (folder)
                        ChooseRememberedFolder(nullptr, QStringLiteral("TEST"),
                                               QStringLiteral("DIR"), QStringLiteral("Folder"));
                    else
                        QFileDialog::getOpenFileName(nullptr, QStringLiteral("File"), QDir::tempPath(),
                                                     QStringLiteral("Movie Files(*.mov *.MOV);;All Files(*)"));
                },
                &labels);
            QVERIFY2(buttons.size() >= 2, qPrintable(buttons.join(u'|')));
            // Every button (open or choose, cancel) and the dialog's own labels ("Look in:",
            // "File name:") in Japanese.
            for (const QString& t : buttons)
                QVERIFY2(hasJapanese(t), qPrintable(t));
            QVERIFY(!labels.isEmpty());
            for (const QString& t : labels)
                QVERIFY2(hasJapanese(t), qPrintable(t));
        }
        // The standard buttons of a button box too.
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QVERIFY(hasJapanese(box.button(QDialogButtonBox::Cancel)->text()));
    }

private:
    void chooseLanguage(const char* value, MessageLanguage expected)
    {
        const QString file = config_.filePath(QStringLiteral("viewer.ini"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("[DISPLAY]\nLANGUAGE=") + value + "\n");
        f.close();
        // As the main window starts: the row, then Qt's texts in the same language.
        QCOMPARE(StartDisplayLanguage(file), expected);
        QCOMPARE(InstallQtTranslation(expected), expected == MessageLanguage::Japanese);
    }

    QTemporaryDir config_;
};

QTEST_MAIN(QtDialogLanguageTest)
#include "qt_dialog_language_qtest.moc"
