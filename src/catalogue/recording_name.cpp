#include "catalogue/recording_name.h"

#include "shell/ui_text.h"

#include <QFileInfo>
#include <atomic>
#include <ctime>

namespace ravir {

const FolderKindRow kFolderKindTable[2][4] = {
    {
        {'M', "Normal", "MOV", "DMY"},
        {'D', "_NData", "ADA", "TDA"},
        {'M', "Parking", "MOV", "DMY"},
        {'D', "_PData", "ADA", "TDA"},
    },
    {
        {'M', "Video", "MOV", "DMY"},
        {'D', "_VData", "ADA", "TDA"},
        {'M', "Parking", "MOV", "DMY"},
        {'D', "_PData", "ADA", "TDA"},
    },
};

namespace {

std::atomic<int> g_layoutIndex{0};

// The file-name part of a path (after the last '/').
QStringView fileNamePart(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return QStringView(path).mid(slash + 1);
}

QChar at(QStringView s, qsizetype i) { return i < s.size() ? s[i] : QChar(); }

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool isOneOf(QChar c, const char* set)
{
    for (const char* p = set; *p; ++p) {
        if (c == QLatin1Char(*p))
            return true;
    }
    return false;
}

// The first 25 positions of the grammar (kind letters, date, time and number) in a name of the
// grammar's length, whatever its camera letter and extension.
bool matchesStem(QStringView name)
{
    if (name.size() != kRecordingNameLength)
        return false;
    if (!isOneOf(name[0], "APT_") || !isOneOf(name[1], "GM_") || !isOneOf(name[2], "ORT_")
        || !isOneOf(name[3], "S_"))
        return false;
    for (int i = 4; i < 25; ++i) {
        const bool separator = i == 4 || i == 11 || i == 18;
        if (separator ? name[i] != QLatin1Char('-') : !isDigit(name[i]))
            return false;
    }
    return true;
}

// Every position of the grammar except the camera letter (position 25).
bool matchesGrammarUpToCamera(QStringView name)
{
    if (!matchesStem(name))
        return false;
    const char16_t any = name[26].unicode();
    if (any == u'\n' || any == u'\r' || any == 0x2028 || any == 0x2029)
        return false;
    return name.mid(27) == QLatin1String("MOV");
}

// "[APT_][GM_][ORT_][S_]-[0-9]{6}-[0-9]{6}-[0-9]{6}[cameras].MOV" matched against the whole
// name; the '.' is the expression's any character (which does not match a line terminator).
bool matchesGrammar(QStringView name, const char* cameras)
{
    return matchesGrammarUpToCamera(name) && isOneOf(name[25], cameras);
}

RecordingKind kindOfName(QStringView name)
{
    const QChar m = at(name, 0), e = at(name, 1), t = at(name, 2);
    if (m == QLatin1Char('A') || m == QLatin1Char('T')) {
        if (e == QLatin1Char('G'))
            return RecordingKind::Impact;
        if (e == QLatin1Char('M'))
            return RecordingKind::Manual;
        return RecordingKind::Continuous;
    }
    if (m == QLatin1Char('P'))
        return e == QLatin1Char('G') ? RecordingKind::ParkingImpact : RecordingKind::Parking;
    return t == QLatin1Char('T') ? RecordingKind::Parking : RecordingKind::None;
}

// Two-digit decimal fields from text; false when a field is missing or not two digits.
bool readTwoDigitFields(QStringView text, int* fields, int count)
{
    if (text.size() < 2 * count)
        return false;
    for (int i = 0; i < count; ++i) {
        const QChar hi = text[2 * i], lo = text[2 * i + 1];
        if (!isDigit(hi) || !isDigit(lo))
            return false;
        fields[i] = (hi.unicode() - u'0') * 10 + (lo.unicode() - u'0');
    }
    return true;
}

// Text from position from up to (not including) the next '-', or to the end.
QStringView fieldUpToDash(QStringView name, qsizetype from)
{
    if (from >= name.size())
        return {};
    const qsizetype dash = name.indexOf(QLatin1Char('-'), from);
    return dash < 0 ? name.mid(from) : name.mid(from, dash - from);
}

SystemTime toSystemTime(std::time_t t)
{
    std::tm local{};
    SystemTime st;
    if (!localtime_r(&t, &local))
        return st;
    st.year = local.tm_year + 1900;
    st.month = local.tm_mon + 1;
    st.dayOfWeek = local.tm_wday;
    st.day = local.tm_mday;
    st.hour = local.tm_hour;
    st.minute = local.tm_min;
    st.second = local.tm_sec;
    st.milliseconds = 0;
    return st;
}

// Replaces the parent folder of the file name when it is exactly `from` (case-insensitive),
// found as the last occurrence in the path with one separator between it and the file name.
bool replaceParentFolder(QString& path, const char* from, const char* to)
{
    const QLatin1String fromName(from);
    const qsizetype fileStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype found = path.lastIndexOf(fromName, -1, Qt::CaseInsensitive);
    if (found < 0 || found + fromName.size() + 1 != fileStart)
        return false;
    path.replace(found, fromName.size(), QLatin1String(to));
    return true;
}

// Over a file name (no folder part).
int kindMaskOfName(QStringView name);
int fileNumberOfName(QStringView name);
bool hasMovExtension(QStringView name);

}  // namespace

bool IsRecordingName(const QString& path)
{
    const QStringView name = fileNamePart(path);
    return matchesGrammar(name, "SM") && kindOfName(name) != RecordingKind::None;
}

bool IsMainRecordingName(const QString& path)
{
    const QStringView name = fileNamePart(path);
    return matchesGrammar(name, "M") && kindOfName(name) != RecordingKind::None;
}

bool IsRecorderFileName(const QString& path)
{
    const QStringView name = fileNamePart(path);
    return matchesStem(name) && kindOfName(name) != RecordingKind::None;
}

RecordingKind KindOf(const QString& fileName) { return kindOfName(fileNamePart(fileName)); }

int KindMaskOf(const QString& path) { return kindMaskOfName(fileNamePart(path)); }

NameFacts ParseFileName(QStringView name)
{
    NameFacts facts;
    facts.movExtension = hasMovExtension(name);
    facts.kind = kindOfName(name);
    facts.kindMask = kindMaskOfName(name);
    facts.number = fileNumberOfName(name);
    if (facts.kind != RecordingKind::None && matchesGrammarUpToCamera(name)) {
        facts.recording = isOneOf(name[25], "SM");
        facts.mainRecording = name[25] == QLatin1Char('M');
    }
    return facts;
}

namespace {
int kindMaskOfName(QStringView name)
{
    const QChar m = at(name, 0), e = at(name, 1), t = at(name, 2);
    int mask = 0;
    if (m == QLatin1Char('A') || m == QLatin1Char('T'))
        mask |= kKindMaskContinuous;
    if (e == QLatin1Char('M'))
        mask |= kKindMaskManual;
    if (e == QLatin1Char('G'))
        mask |= m == QLatin1Char('P') ? kKindMaskParkingImpact : kKindMaskImpact;
    if (m == QLatin1Char('P') && e != QLatin1Char('G'))
        mask |= kKindMaskParking;
    if (t == QLatin1Char('T'))
        mask |= kKindMaskContinuous;
    return mask;
}
}  // namespace

QString KindLabel(const QString& path)
{
    const QStringView name = fileNamePart(path);
    if (name.size() < kRecordingNameLength)
        return {};
    const char16_t m = name[0].unicode(), e = name[1].unicode(), t = name[2].unicode();
    const auto plus = [](int first, int second) {
        return text(first) + QLatin1Char('+') + text(second);
    };
    switch (m) {
    case u'A':
        if (e == u'G')
            return text(TXT_IMPACT_3);
        if (e == u'M')
            return text(TXT_MANUAL_3);
        if (e == u'_' && t == u'_')
            return text(TXT_KIND_CONTINUOUS_2);
        if (e == u'_' && t == u'T')
            return text(TXT_PARKING_TIMELAPSE);
        return {};
    case u'P':
        if (e == u'_' && t == u'_')
            return text(TXT_PARKING_2);
        if (e == u'G' && t == u'_')
            return text(TXT_PARKING_IMPACT_2);
        if (e == u'_' && t == u'T')
            return text(TXT_PARKING_TIMELAPSE);
        if (e == u'G' && t == u'T')
            return plus(TXT_PARKING_TIMELAPSE, TXT_IMPACT_3);
        return {};
    case u'T':
        if (e == u'_')
            return text(TXT_CONTINUOUS_TIMELAPSE);
        if (e == u'G')
            return plus(TXT_CONTINUOUS_TIMELAPSE, TXT_IMPACT_3);
        if (e == u'M')
            return plus(TXT_CONTINUOUS_TIMELAPSE, TXT_MANUAL_3);
        return {};
    default:
        return {};
    }
}

QString ListText(const QString& path)
{
    const QStringView name = fileNamePart(path);
    if (IsRecordingName(path)) {
        const QChar stop = IsMainRecordingName(path) ? QLatin1Char('M') : QLatin1Char('S');
        qsizetype end = name.indexOf(stop, 12);
        if (end < 0)
            end = name.size();
        return name.left(4).toString() + QLatin1Char('-') + name.mid(12, end - 12).toString();
    }
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return (dot < 0 ? name : name.left(dot)).toString();
}

SystemTime StartTimeOf(const QString& path)
{
    const QStringView name = fileNamePart(path);
    int date[3] = {0, 0, 0};
    int time[3] = {0, 0, 0};
    std::time_t absolute = 0;
    if (readTwoDigitFields(fieldUpToDash(name, 5), date, 3)
        && readTwoDigitFields(fieldUpToDash(name, 12), time, 3)) {
        std::tm tm{};
        tm.tm_year = 2000 + date[0] - 1900;
        tm.tm_mon = date[1] - 1;
        tm.tm_mday = date[2];
        tm.tm_hour = time[0];
        tm.tm_min = time[1];
        tm.tm_sec = time[2];
        tm.tm_isdst = -1;
        const std::time_t converted = std::mktime(&tm);
        if (converted != static_cast<std::time_t>(-1))
            absolute = converted;
    }
    return toSystemTime(absolute);
}

QString FileNumberText(const QString& fileName)
{
    return fileNamePart(fileName).mid(19, 6).toString();
}

int FileNumberOf(const QString& fileName) { return fileNumberOfName(fileNamePart(fileName)); }

namespace {
int fileNumberOfName(QStringView name)
{
    const QStringView digits = name.mid(19, 6);
    if (digits.size() != 6)
        return -1;
    int n = 0;
    for (QChar c : digits) {
        if (!isDigit(c))
            return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}
}  // namespace

QString PairedPathOf(const QString& path)
{
    QString paired = path;
    const qsizetype n = paired.size();
    if (n >= 35) {
        const qsizetype at35 = n - 35;
        const QStringView tail = QStringView(paired).mid(at35, 4);
        if (tail.compare(QLatin1String("Main"), Qt::CaseInsensitive) == 0)
            paired.replace(at35, 4, QLatin1String("Sub_"));
        else if (tail.compare(QLatin1String("Sub_"), Qt::CaseInsensitive) == 0)
            paired.replace(at35, 4, QLatin1String("Main"));
    }
    if (n >= 5) {
        QChar& camera = paired[n - 5];
        if (camera == QLatin1Char('M'))
            camera = QLatin1Char('S');
        else if (camera == QLatin1Char('S'))
            camera = QLatin1Char('M');
    }
    return paired;
}

QString TelemetryPathOf(const QString& path)
{
    QString telemetry = path;
    const int layout = CurrentLayoutIndex();
    const FolderKindRow* rows = kFolderKindTable[layout];
    if (!replaceParentFolder(telemetry, rows[0].folder, rows[1].folder))
        replaceParentFolder(telemetry, rows[2].folder, rows[3].folder);
    if (telemetry.size() >= 5)
        telemetry[telemetry.size() - 5] = QLatin1Char('D');
    const qsizetype fileStart = telemetry.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = telemetry.lastIndexOf(QLatin1Char('.'));
    if (dot >= fileStart)
        telemetry.truncate(dot);
    telemetry += QLatin1String(".ADA");
    return telemetry;
}

bool HasMovExtension(const QString& path) { return hasMovExtension(fileNamePart(path)); }

namespace {
bool hasMovExtension(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && name.size() - dot == 4
           && name.mid(dot).compare(QLatin1String(".MOV"), Qt::CaseInsensitive) == 0;
}
}  // namespace

bool DetectLayout(const QString& root)
{
    QString base = root;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    bool any = false;
    for (int layout = 0; layout < 2; ++layout) {
        if (QFileInfo(base + QLatin1String(kFolderKindTable[layout][2].folder)).isDir())
            any = true;
        if (QFileInfo(base + QLatin1String(kFolderKindTable[layout][0].folder)).isDir()) {
            SetCurrentLayoutIndex(layout);
            return true;
        }
    }
    SetCurrentLayoutIndex(0);
    return any;
}

bool IsLayout1MovieFolder(const QString& name)
{
    return name == QLatin1String(kFolderKindTable[1][0].folder)
           || name == QLatin1String(kFolderKindTable[1][2].folder);
}

int CurrentLayoutIndex() { return g_layoutIndex.load(std::memory_order_relaxed); }

void SetCurrentLayoutIndex(int index)
{
    g_layoutIndex.store(index == 1 ? 1 : 0, std::memory_order_relaxed);
}

}  // namespace ravir
