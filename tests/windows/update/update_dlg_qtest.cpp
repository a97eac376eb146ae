// The update dialog: its geometry and caption, the update text as rich text, which links it
// opens (http and https only), closing, and a screenshot for the eye.
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "shell/ui_text.h"
#include "update/update_check.h"
#include "windows/update/update_dlg.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QUrl>

using namespace ravir;

// Receives the URLs the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

class UpdateDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void geometryAndCaption();
    void onlyHttpAndHttpsLinksAreOpened();
    void closesAndShowsNothingForNoText();

private:
    QString sampleText() const;
    UrlCatcher catcher_;
};

void UpdateDialogTest::initTestCase()
{
    for (const char* scheme : {"http", "https", "file", "ftp", "javascript", "mailto"})
        QDesktopServices::setUrlHandler(scheme, &catcher_, "open");
}

void UpdateDialogTest::cleanupTestCase()
{
    for (const char* scheme : {"http", "https", "file", "ftp", "javascript", "mailto"})
        QDesktopServices::unsetUrlHandler(scheme);
}

QString UpdateDialogTest::sampleText() const
{
    return update::buildUpdateText(
        {{text(TXT_RECORDER_UNIT), "1.5.2", "1.6.0", "http://updates.example/fw/zu590.html"},
         {text(TXT_VIEWER_SOFTWARE), "1.0.0", "1.1.0", "https://updates.example/viewer/"},
         {text(TXT_GPS_DATA_INFO), "23/10/15", "24/03/01", "ftp://updates.example/gps"}});
}

void UpdateDialogTest::geometryAndCaption()
{
    CUpdateDialog dialog(sampleText());
    const int w = skin::unit(640), h = skin::unit(480);
    QCOMPARE(dialog.size(), QSize(w, h));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());  // fixed size
    QVERIFY(dialog.parentWidget() == nullptr);
    QCOMPARE(dialog.windowTitle(), text(TXT_UPDATE_INFO));
    QLabel* label = dialog.linkText();
    QCOMPARE(label->geometry(), QRect(skin::unit(10), skin::unit(30), w - 2 * skin::unit(10),
                                      h - skin::unit(30) - skin::unit(80)));
    QCOMPARE(label->textFormat(), Qt::RichText);
    QVERIFY(!label->openExternalLinks());
    QVERIFY(label->text().contains("<a href=\"http://updates.example/fw/zu590.html\">"));
    QVERIFY(label->text().contains("<br>"));
    QVERIFY(!label->text().contains("\r\n"));
    // The ftp URL is shown as text, not as a link.
    QVERIFY(!label->text().contains("<a href=\"ftp:"));
    QCOMPARE(dialog.closeDialogButton()->geometry(),
             QRect(w - skin::unit(110), h - skin::unit(40), skin::unit(100), skin::unit(30)));
    QCOMPARE(dialog.closeDialogButton()->text(), text(TXT_CLOSE));
    const QImage picture = dialog.grab().toImage();
    QCOMPARE(picture.pixelColor(w / 2, h - skin::unit(60)), QColor(Qt::white));

    dialog.show();
    const QString shots = qEnvironmentVariable("RAVIR_SHOTS_DIR");
    if (!shots.isEmpty())
        dialog.grab().save(QDir(shots).filePath("update_dialog.png"));
}

void UpdateDialogTest::onlyHttpAndHttpsLinksAreOpened()
{
    CUpdateDialog dialog(sampleText());
    catcher_.opened.clear();
    const QStringList links{"http://updates.example/fw/zu590.html",
                            "https://updates.example/viewer/",
                            "HTTPS://updates.example/upper",
                            "file:///etc/passwd",
                            "ftp://updates.example/gps",
                            "javascript:alert(1)",
                            "mailto:a@b.example",
                            "http://",
                            "https:///no-host",
                            "not a url"};
    for (const QString& link : links)
        Q_EMIT dialog.linkText()->linkActivated(link);
    QCOMPARE(catcher_.opened, (QList<QUrl>{QUrl("http://updates.example/fw/zu590.html"),
                                           QUrl("https://updates.example/viewer/"),
                                           QUrl("HTTPS://updates.example/upper")}));
    QVERIFY(!CUpdateDialog::OpenLink("file:///etc/passwd"));
    QVERIFY(CUpdateDialog::IsOpenableLink(QUrl("https://a.example/x?y=1")));
}

void UpdateDialogTest::closesAndShowsNothingForNoText()
{
    QVERIFY(CUpdateDialog::ShowText(QString()) == nullptr);
    QPointer<CUpdateDialog> dialog = CUpdateDialog::ShowText(sampleText());
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QTest::mouseClick(dialog->closeDialogButton(), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());  // closed and deleted
}

QTEST_MAIN(UpdateDialogTest)
#include "update_dlg_qtest.moc"
