#include "playback/dual_surface.h"

#include "playback/player.h"
#include "shell/ui_text.h"

#include <QAccessible>
#include <QResizeEvent>
#include <algorithm>

namespace ravir {

DualVideoSurface::DualVideoSurface(QWidget* parent, VideoPresenter::Backend backend)
    : QWidget(parent), main_(new VideoPresenter(this, backend)), sub_(new VideoPresenter(this, backend))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    main_->setGeometry(rect());
    sub_->setGeometry(rect());
    sub_->hide();
}

void DualVideoSurface::setPlayers(Player* main, Player* sub)
{
    if (subPlayer_)
        disconnect(subPlayer_, nullptr, this, nullptr);
    mainPlayer_ = main;
    subPlayer_ = sub;
    if (sub) {
        // The inset's height follows the sub picture's aspect ratio, known once it has opened.
        connect(sub, &Player::movieOpened, this, [this] { relayout(); });
    }
    relayout();
}

void DualVideoSurface::setLayoutScale(double scale)
{
    scale_ = scale > 0 ? scale : 1.0;
    relayout();
}

bool DualVideoSurface::subOpen() const
{
    return subPlayer_ && subPlayer_->GetFrameCount() > 0;
}

void DualVideoSurface::setView(DisplayView view)
{
    if (view != DisplayView::Main && !subOpen())
        view = DisplayView::Main;
    if (view == view_)
        return;
    view_ = view;
    relayout();
    announce();
    Q_EMIT viewChanged(view_);
}

void DualVideoSurface::setFrameShown(int frame, int frameCount)
{
    frame = std::max(frame, -1);
    if (frame == frame_ && frameCount == frameCount_)
        return;
    frame_ = frame;
    frameCount_ = frameCount;
    announce();
}

QString DualVideoSurface::ViewName(DisplayView view)
{
    switch (view) {
    case DisplayView::Sub: return text(TXT_SUB_CAMERA);
    case DisplayView::MainWithSubInset: return text(TXT_ACC_MAIN_WITH_SUB);
    case DisplayView::Main: break;
    }
    return text(TXT_MAIN_CAMERA);
}

QString DualVideoSurface::spokenName() const
{
    const QString view = ViewName(view_);
    if (frame_ < 0)
        return view;
    return text(TXT_ACC_FRAME_FMT).arg(view, QString::number(frame_), QString::number(frameCount_));
}

void DualVideoSurface::announce()
{
    spoken_.announce(this, QAccessible::NameChanged, [this] { return spokenName(); });
}

DisplayView DualVideoSurface::switchDisplay()
{
    switch (view_) {
    case DisplayView::Main:
        setView(DisplayView::Sub);
        break;
    case DisplayView::Sub:
        setView(DisplayView::MainWithSubInset);
        break;
    case DisplayView::MainWithSubInset:
        setView(DisplayView::Main);
        break;
    }
    return view_;
}

QRect DualVideoSurface::InsetRect(const QSize& surface, const QSize& subPicture, double scale)
{
    const int margin = static_cast<int>(kInsetMargin * scale);
    const int width = surface.width() / 3;
    const double aspect = subPicture.width() > 0 && subPicture.height() > 0
                              ? static_cast<double>(subPicture.height()) / subPicture.width()
                              : 9.0 / 16.0;
    const int height = std::min(static_cast<int>(width * aspect + 0.5),
                                std::max(0, surface.height() - 2 * margin));
    return QRect(surface.width() - margin - width, surface.height() - margin - height, width,
                 height);
}

QRect DualVideoSurface::mainArea() const { return main_->isHidden() ? QRect() : main_->geometry(); }

QRect DualVideoSurface::subArea() const { return sub_->isHidden() ? QRect() : sub_->geometry(); }

void DualVideoSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void DualVideoSurface::relayout()
{
    if (view_ != DisplayView::Main && !subOpen())
        view_ = DisplayView::Main;
    const QRect full = rect();
    QSize subPicture;
    int w = 0, h = 0;
    if (subPlayer_ && subPlayer_->GetVideoSize(w, h))
        subPicture = QSize(w, h);
    // A hidden presenter keeps drawing (so that a switch shows the current picture at once),
    // at the inset's size, which costs a ninth of the full surface.
    const QRect inset = InsetRect(full.size(), subPicture, scale_);
    switch (view_) {
    case DisplayView::Main:
        main_->setGeometry(full);
        main_->show();
        sub_->hide();
        sub_->setGeometry(inset);
        break;
    case DisplayView::Sub:
        sub_->setGeometry(full);
        sub_->show();
        main_->hide();
        main_->setGeometry(inset);
        break;
    case DisplayView::MainWithSubInset:
        main_->setGeometry(full);
        main_->show();
        sub_->setGeometry(inset);
        sub_->show();
        RaiseWithNativeWindow(*sub_);
        break;
    }
    if (mainPlayer_ && mainPlayer_->GetFrameCount() > 0)
        mainPlayer_->Relayout();
    if (subOpen())
        subPlayer_->Relayout();
}

}  // namespace ravir
