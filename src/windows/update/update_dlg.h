#pragma once
// CUpdateDialog: shows the update text of the update check. A skinned top-level window (no
// parent), 640 x 480 units, fixed in size, centred on its screen, white, captioned
// TXT_UPDATE_INFO; the text fills it less 10 units at the sides, 30 at the top and 80 at the
// bottom, with its links clickable; a close button of 100 x 30 units sits 10 units from the
// right edge and 40 from the bottom. A link is opened with the desktop's browser only when it is
// an http or https URL with a host; anything else is ignored.
#include "windows/kit/skin_dialog.h"

#include <QString>

class QLabel;
class QUrl;

namespace ravir {

class CUpdateDialog : public CSkinDialog {
    Q_OBJECT
public:
    // `updateText`: the text of the update check (CR LF line breaks, <a href> links).
    explicit CUpdateDialog(const QString& updateText, QWidget* parent = nullptr);

    QLabel* linkText() const { return text_; }
    CSkinButton* closeDialogButton() const { return closeButton_; }

    // True for http and https URLs with a host: the only links the dialog opens.
    static bool IsOpenableLink(const QUrl& url);
    // Opens the link with QDesktopServices when it is openable; false otherwise.
    static bool OpenLink(const QString& link);

    // The window's reaction to the update text: a new dialog shown without blocking, deleted
    // when closed. Null (nothing shown) for an empty text.
    static CUpdateDialog* ShowText(const QString& updateText);

protected:
    void paintBody(QPainter& painter) override;

private:
    QLabel* text_ = nullptr;
    CSkinButton* closeButton_ = nullptr;
};

}  // namespace ravir
