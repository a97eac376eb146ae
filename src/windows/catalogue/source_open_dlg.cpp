#include "windows/catalogue/source_open_dlg.h"

#include "catalogue/catalogue.h"
#include "catalogue/recording_name.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "windows/kit/remembered_folder.h"
#include "shell/ui_text.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace ravir {
namespace {

CSkinButton* textButton(QWidget* parent, int id, const QString& label)
{
    auto* b = new CSkinButton(parent, id);
    b->setImage(QStringLiteral("btn_text"));
    b->setText(label);
    b->setTextAlignment(Qt::AlignCenter);
    return b;
}

QString defaultFileChooser(QWidget* owner)
{
    const QString filter = QStringLiteral("Movie Files(*.%1 *.%2);;All Files(*)")
                               .arg(QStringLiteral("mov"), QStringLiteral("MOV"));
    return QFileDialog::getOpenFileName(owner, text(TXT_FILE), startupFolder(), filter);
}

QString defaultFolderChooser(QWidget* owner)
{
    return ChooseRememberedFolder(owner, QString::fromLatin1(ini::kSourceFolder.section),
                                  QString::fromLatin1(ini::kSourceFolder.key),
                                  text(TXT_MSG_SELECT_VIDEO_FOLDER));
}

}  // namespace

CSourceOpenDlg::CSourceOpenDlg(QWidget* parent) : CSkinDialog(parent)
{
    build(ListRemovableDrives());
}

CSourceOpenDlg::CSourceOpenDlg(const RemovableDrives& drives, QWidget* parent)
    : CSkinDialog(parent)
{
    build(drives);
}

void CSourceOpenDlg::build(const RemovableDrives& drives)
{
    setObjectName(QStringLiteral("CSourceOpenDlg"));
    setWindowTitle(text(TXT_SOURCE));
    setModal(true);
    setFont(SharedFont(kFont10));
    setFixedSize(Scaled(540), Scaled(250));
    folderChooser_ = defaultFolderChooser;
    fileChooser_ = defaultFileChooser;

    const TextId labels[3] = {TXT_SD_CARD, TXT_FOLDER, TXT_FILE};
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (int i = 0; i < 3; ++i) {
        auto* r = new CSkinCheckButton(text(labels[i]), this);
        r->setObjectName(QStringLiteral("mode%1").arg(i + 1));
        r->setCheckable(true);
        r->setAutoExclusive(true);  // read as a radio button
        r->setGeometry(Scaled(30), Scaled(50 + 50 * i), Scaled(120), Scaled(26));
        group->addButton(r, i + 1);
        radios_[static_cast<size_t>(i)] = r;
        connect(r, &QAbstractButton::clicked, this, [this, i] { selectMode(i + 1); });
    }
    const int fieldH = Scaled(22);
    drives_ = new QComboBox(this);
    drives_->setObjectName(QStringLiteral("driveList"));
    drives_->addItems(drives.roots);
    drives_->setCurrentIndex(drives.defaultIndex);
    drives_->setGeometry(Scaled(150), Scaled(52), Scaled(300), fieldH);
    connect(drives_, &QComboBox::activated, this, [this](int) { selectMode(1); });

    folder_ = new QLineEdit(ReadValue(ini::kSourceFolder), this);
    folder_->setObjectName(QStringLiteral("folderField"));
    folder_->setGeometry(Scaled(150), Scaled(102), Scaled(300), fieldH);
    file_ = new QLineEdit(ReadValue(ini::kSourceFile), this);
    file_->setObjectName(QStringLiteral("fileField"));
    file_->setGeometry(Scaled(150), Scaled(152), Scaled(300), fieldH);
    connect(folder_, &QLineEdit::textChanged, this, [this] { updateOk(); });
    connect(file_, &QLineEdit::textChanged, this, [this] { updateOk(); });

    auto* folderMore = textButton(this, 39003, QStringLiteral("..."));
    folderMore->setObjectName(QStringLiteral("folderMore"));
    folderMore->setGeometry(Scaled(470), Scaled(100), Scaled(40), Scaled(26));
    connect(folderMore, &CSkinButton::clicked, this, &CSourceOpenDlg::chooseFolder);
    auto* fileMore = textButton(this, 39004, QStringLiteral("..."));
    fileMore->setObjectName(QStringLiteral("fileMore"));
    fileMore->setGeometry(Scaled(470), Scaled(150), Scaled(40), Scaled(26));
    connect(fileMore, &CSkinButton::clicked, this, &CSourceOpenDlg::chooseFile);

    ok_ = textButton(this, 1, QStringLiteral("OK"));
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setGeometry(Scaled(410), Scaled(200), Scaled(100), Scaled(26));
    connect(ok_, &CSkinButton::clicked, this, &CSourceOpenDlg::confirm);
    setDefaultButton(ok_);

    // Keyboard: row by row, then OK; each field is named by its row's choice button.
    drives_->setAccessibleName(text(TXT_SD_CARD));
    folder_->setAccessibleName(text(TXT_FOLDER));
    file_->setAccessibleName(text(TXT_FILE));
    folderMore->setCommandName(text(TXT_MSG_SELECT_VIDEO_FOLDER));
    fileMore->setCommandName(text(TXT_FILE));
    const QList<QWidget*> order{radios_[0], drives_, radios_[1], folder_, folderMore,
                                radios_[2], file_, fileMore, ok_};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // SD (read only to show it was there), then the remembered choice.
    const QString select = ReadSourceSelect();
    int m = 1;
    if (select == QLatin1String(ini::kSelectFolder))
        m = 2;
    else if (select == QLatin1String(ini::kSelectFile))
        m = 3;
    selectMode(m);
    radios_[static_cast<size_t>(m - 1)]->setFocus();
    placeCloseButton();
}

void CSourceOpenDlg::selectMode(int m)
{
    mode_ = (m >= 1 && m <= 3) ? m : 1;
    for (int i = 0; i < 3; ++i)
        radios_[static_cast<size_t>(i)]->setChecked(i + 1 == mode_);
    updateOk();
}

void CSourceOpenDlg::updateOk()
{
    bool has = false;
    switch (mode_) {
    case 1: has = drives_->currentIndex() >= 0; break;
    case 2: has = !folder_->text().isEmpty(); break;
    default: has = !file_->text().isEmpty(); break;
    }
    ok_->setEnabled(has);
}

QString CSourceOpenDlg::chosenPath() const
{
    switch (mode_) {
    case 1: return drives_->currentText();
    case 2: return folder_->text();
    default: return file_->text();
    }
}

void CSourceOpenDlg::chooseFolder()
{
    const QString folder = folderChooser_ ? folderChooser_(this) : QString();
    if (folder.isEmpty())
        return;
    folder_->setText(QDir::toNativeSeparators(folder));
    selectMode(2);
}

void CSourceOpenDlg::chooseFile()
{
    const QString file = fileChooser_ ? fileChooser_(this) : QString();
    if (file.isEmpty())
        return;
    if (!IsRecordingName(file)) {
        CMsgBox::Error(this, text(TXT_MSG_OPEN_FAILED));
        return;
    }
    file_->setText(file);
    selectMode(3);
}

void CSourceOpenDlg::confirm()
{
    if (!ok_->isEnabled())
        return;
    switch (mode_) {
    case 1:
        WriteValue(ini::kSourceSelect, QString::fromLatin1(ini::kSelectSd));
        WriteValue(ini::kSourceSd, drives_->currentText());
        break;
    case 2:
        WriteValue(ini::kSourceSelect, QString::fromLatin1(ini::kSelectFolder));
        WriteValue(ini::kSourceFolder, folder_->text());
        break;
    default:
        WriteValue(ini::kSourceSelect, QString::fromLatin1(ini::kSelectFile));
        WriteValue(ini::kSourceFile, file_->text());
        break;
    }
    accept();
}

bool OpenChosenSource(Catalogue& catalogue, SourceMode mode, const QString& chosen,
                      QWidget* messageParent)
{
    if (chosen.isEmpty() || mode == SourceMode::None)
        return false;
    const QFileInfo info(chosen);
    if (!info.exists())
        return false;
    if (mode == SourceMode::File && !IsRecordingName(chosen)) {
        CMsgBox::Error(messageParent, text(TXT_MSG_OPEN_FAILED));
        return false;
    }
    QString path = info.absoluteFilePath();
    if (mode == SourceMode::Drive)
        path = StripTrailingSeparators(path);
    catalogue.OpenSource(path, mode);
    catalogue.SelectDefaultItem();
    return true;
}

SourceMode SourceModeOfPath(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return SourceMode::None;
    if (info.isFile())
        return SourceMode::File;
    return DetectLayout(info.absoluteFilePath()) ? SourceMode::Drive : SourceMode::Folder;
}

}  // namespace ravir
