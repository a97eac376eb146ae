#include "windows/main/evidence_dialog.h"

#include "shell/ini_keys.h"
#include "shell/ui_text.h"
#include "windows/kit/app_scale.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/remembered_folder.h"
#include "windows/kit/skin_button.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <climits>

namespace ravir {
namespace {

CSkinButton* textButton(QWidget* parent, int id, const QString& label, const char* name)
{
    auto* b = new CSkinButton(parent, id);
    b->setImage(QStringLiteral("btn_text"));
    b->setText(label);
    b->setTextAlignment(Qt::AlignCenter);
    b->setObjectName(QLatin1String(name));
    return b;
}

int clampInt(long long v) { return static_cast<int>(std::clamp<long long>(v, 0, INT_MAX)); }

}  // namespace

QString EvidenceDialog::ProposedName(const QString& movie, long long from, long long to)
{
    return QStringLiteral("evidence-%1-%2-%3").arg(QFileInfo(movie).completeBaseName()).arg(from).arg(to);
}

EvidenceDialog::EvidenceDialog(const Setup& setup, QWidget* parent) : CSkinDialog(parent), setup_(setup)
{
    setObjectName(QStringLiteral("EvidenceDialog"));
    setWindowTitle(text(TXT_EVIDENCE));
    setModal(true);
    setFont(SharedFont(kFont10));
    setFixedSize(Scaled(540), Scaled(230));
    setStyleSheet(QStringLiteral(
        "QLabel { color: #e0e6ec; }"
        "QSpinBox, QLineEdit { background: #26313c; color: #e0e6ec; border: 1px solid #4a5866; }"
        "QSpinBox:focus, QLineEdit:focus { border: 1px solid #9ab8d6; }"
        "QSpinBox::up-button, QSpinBox::down-button { background: #34414e; width: 16px;"
        " border-left: 1px solid #4a5866; }"
        "QSpinBox::up-button:hover, QSpinBox::down-button:hover { background: #46586a; }"
        "QSpinBox::up-arrow { image: url(:/skin/spin_up.svg); width: 9px; height: 6px; }"
        "QSpinBox::down-arrow { image: url(:/skin/spin_down.svg); width: 9px; height: 6px; }"));
    chooser_ = [](QWidget* owner) {
        return AcceptChosenFolder(owner, ChooseRememberedFolder(owner, QString::fromLatin1(ini::kSnapshotFolder.section),
                                                                QString::fromLatin1(ini::kSnapshotFolder.key),
                                                                text(TXT_EVIDENCE_FOLDER)));
    };

    const int last = clampInt(std::max<long long>(setup_.frames - 1, 0));
    const int fieldH = Scaled(22);
    auto row = [&](int y, int labelId, QWidget* field, int fieldW) {
        auto* label = new QLabel(text(labelId), this);
        label->setGeometry(Scaled(24), y, Scaled(130), fieldH);
        label->setBuddy(field);
        field->setGeometry(Scaled(160), y, fieldW, fieldH);
        // The label's words without the colon name the field for screen readers.
        QString name = text(labelId);
        while (name.endsWith(u':') || name.endsWith(u'\uFF1A'))
            name.chop(1);
        field->setAccessibleName(name);
    };
    from_ = new QSpinBox(this);
    from_->setObjectName(QStringLiteral("fromFrame"));
    from_->setRange(0, last);
    from_->setValue(clampInt(setup_.from));
    row(Scaled(44), TXT_EVIDENCE_FROM, from_, Scaled(110));
    to_ = new QSpinBox(this);
    to_->setObjectName(QStringLiteral("toFrame"));
    to_->setRange(from_->value(), last);
    to_->setValue(clampInt(setup_.to));
    row(Scaled(80), TXT_EVIDENCE_TO, to_, Scaled(110));
    fromTime_ = new QLabel(this);
    fromTime_->setObjectName(QStringLiteral("fromTime"));
    fromTime_->setGeometry(Scaled(285), Scaled(44), Scaled(200), fieldH);
    toTime_ = new QLabel(this);
    toTime_->setObjectName(QStringLiteral("toTime"));
    toTime_->setGeometry(Scaled(285), Scaled(80), Scaled(200), fieldH);

    proposedName_ = ProposedName(setup_.movie, from_->value(), to_->value());
    folder_ = new QLineEdit(QDir(setup_.parentFolder).filePath(proposedName_), this);
    folder_->setObjectName(QStringLiteral("folderField"));
    row(Scaled(116), TXT_EVIDENCE_FOLDER, folder_, Scaled(300));
    auto* more = textButton(this, 39101, QStringLiteral("..."), "folderMore");
    more->setGeometry(Scaled(470), Scaled(114), Scaled(40), Scaled(26));
    more->setCommandName(text(TXT_EVIDENCE_FOLDER));
    connect(more, &CSkinButton::clicked, this, &EvidenceDialog::chooseFolder);

    ok_ = textButton(this, 1, QStringLiteral("OK"), "okButton");
    ok_->setGeometry(Scaled(300), Scaled(180), Scaled(100), Scaled(26));
    connect(ok_, &CSkinButton::clicked, this, &EvidenceDialog::confirm);
    auto* cancel = textButton(this, 2, text(TXT_CANCEL), "cancelButton");
    cancel->setGeometry(Scaled(410), Scaled(180), Scaled(100), Scaled(26));
    connect(cancel, &CSkinButton::clicked, this, &QDialog::reject);
    setDefaultButton(ok_);

    connect(from_, &QSpinBox::valueChanged, this, [this](int v) {
        to_->setMinimum(v);  // the span never turns round
        spanChanged();
    });
    connect(to_, &QSpinBox::valueChanged, this, [this] { spanChanged(); });
    connect(folder_, &QLineEdit::textChanged, this, [this] { ok_->setEnabled(!folder_->text().trimmed().isEmpty()); });
    spanChanged();

    const QList<QWidget*> order{from_, to_, folder_, more, ok_, cancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    from_->setFocus();
    placeCloseButton();
}

long long EvidenceDialog::fromFrame() const { return from_->value(); }
long long EvidenceDialog::toFrame() const { return to_->value(); }
QString EvidenceDialog::folder() const { return QDir::cleanPath(folder_->text().trimmed()); }

QString EvidenceDialog::timeText(long long frame) const
{
    const long long ms = static_cast<long long>(static_cast<double>(frame) * setup_.frameMs + 0.5);
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000)
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void EvidenceDialog::spanChanged()
{
    fromTime_->setText(timeText(from_->value()));
    toTime_->setText(timeText(to_->value()));
    fromTime_->setAccessibleName(fromTime_->text());
    toTime_->setAccessibleName(toTime_->text());
    // A folder name the user has not changed follows the span.
    const QString name = ProposedName(setup_.movie, from_->value(), to_->value());
    const QFileInfo current(folder_->text());
    if (current.fileName() == proposedName_ && name != proposedName_)
        folder_->setText(QDir(current.path()).filePath(name));
    proposedName_ = name;
}

void EvidenceDialog::chooseFolder()
{
    const QString parent = chooser_ ? chooser_(this) : QString();
    if (parent.isEmpty())
        return;
    const QString name = QFileInfo(folder()).fileName();
    folder_->setText(QDir(parent).filePath(name.isEmpty() ? proposedName_ : name));
}

void EvidenceDialog::confirm()
{
    const QString out = folder();
    if (out.isEmpty() || !ok_->isEnabled())
        return;
    const QFileInfo info(out);
    if (info.exists() || info.isSymLink()) {
        CMsgBox::Error(this, text(TXT_MSG_EVIDENCE_FOLDER_EXISTS).arg(QDir::toNativeSeparators(out)));
        return;
    }
    if (!QFileInfo(info.absolutePath()).isDir()) {
        CMsgBox::Error(this, text(TXT_MSG_EVIDENCE_FAILED)
                                 .arg(QStringLiteral("%1: no such folder").arg(info.absolutePath())));
        return;
    }
    accept();
}

}  // namespace ravir
