#pragma once
// CFileListCtrl: the file list of the file browser. One row per record that the kind filter lets
// through, two columns (the list text of the recording and its trigger column), no header,
// rows 20 units high in the 13-point shared font.
//
// The first column takes the width but 51 pixels, and more (down to nothing for the second
// column) where full names would not fit otherwise.
//
// Row colours: the playing row (the recording the main window has open) is filled across the
// whole row, 0xB2B2B2 (0xB2B28E for an event row: impact or parking impact); other rows fill
// their first cell 0xFFFFFF (0xFFFFCC for an event row). Cells are framed 0x888888. The text is
// orange (0xEF810F) when the recording's trigger code is 1, else black.
//
// A row is chosen when the selection moves to it, with Enter and with a double-click: the list
// emits rowChosen() unless the row's recording is the one already open (so that a refill, which
// selects row 0 again, does not reopen it); Enter and double-click always emit.
#include "catalogue/recording_record.h"

#include <QColor>
#include <QPoint>
#include <QTreeWidget>

class QTimer;

namespace ravir {
class ThumbnailCache;
}

namespace ravir {

class CFileListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static inline const QColor kPlaying{0xB2, 0xB2, 0xB2};
    static inline const QColor kPlayingEvent{0xB2, 0xB2, 0x8E};
    static inline const QColor kRow{0xFF, 0xFF, 0xFF};
    static inline const QColor kEventRow{0xFF, 0xFF, 0xCC};
    static inline const QColor kFrame{0x88, 0x88, 0x88};
    static inline const QColor kTriggerText{0xEF, 0x81, 0x0F};
    static constexpr int kRowHeightUnits = 20;

    explicit CFileListCtrl(QWidget* parent = nullptr);

    // Shows the records the filter lets through; no row is selected and nothing is emitted.
    void setRecords(const RecordList& all, const KindFilter& filter);
    const RecordList& shownRecords() const { return shown_; }
    const RecordingRecord* recordAt(int row) const;
    int rowCount() const { return static_cast<int>(shown_.size()); }

    // The row whose recording is open (-1 for none); drawn highlighted.
    void setPlayingRow(int row);
    int playingRow() const { return playingRow_; }
    // Forgets the open recording (after the main window closed it).
    void clearOpenRecording();
    // Selects the row and scrolls it into view; it becomes chosen (rowChosen) unless its
    // recording is the one open.
    void selectRow(int row);
    int selectedRow() const;

    // Colours of a row as drawn: the fill of the row (or of its first cell) and the text.
    QColor rowBackground(int row) const;
    QColor rowText(int row) const;
    static bool isEventRow(const RecordingRecord& record);

    // The hover preview (the thumbnail switch): while on, resting the mouse on a row asks for
    // the preview of that row in a popup 220 units wide and 9/16 of that high, its right edge at
    // the list's left edge, centred on the row and kept above the list's bottom. Leaving the
    // rows or the list, or pressing a button, ends it.
    void setPreviewEnabled(bool on);
    bool previewEnabled() const { return previewEnabled_; }
    int previewRow() const { return previewRow_; }
    static QRect PreviewGeometry(const QRect& listGlobal, const QRect& rowGlobal, double scale);
    static constexpr int kHoverMs = 400;

    // First-frame pictures at the left of each row (rows 40 units high while shown), made by
    // the list's thumbnail cache on its worker.
    void setThumbnailsShown(bool on);
    bool thumbnailsShown() const { return thumbnails_; }
    ThumbnailCache* thumbnailCache() const { return cache_; }
    int rowHeight() const;
    QSize thumbnailSize() const;
    // The width the first column needs to show every full row text (at least a recording's
    // list text) with its padding and, while shown, the thumbnail; and the width of the whole
    // list (frame and vertical scroll bar included) that gives the column that room.
    int textColumnWidthNeeded() const;
    int widthNeeded() const;

Q_SIGNALS:
    void rowChosen(int row, const ravir::RecordingRecord& record);
    void previewRequested(int row, const ravir::RecordingRecord& record, const QRect& geometry);
    void previewStopped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void onHover();
    void stopPreview();

    void onSelectionChanged();
    void choose(int row, bool always);
    void fitColumns();

    RecordList shown_;
    int playingRow_ = -1;
    QString openPath_;
    bool filling_ = false;
    bool previewEnabled_ = false;
    int previewRow_ = -1;
    QPoint hoverPos_;
    QTimer* hoverTimer_ = nullptr;
    bool thumbnails_ = false;
    ThumbnailCache* cache_ = nullptr;
};

}  // namespace ravir
