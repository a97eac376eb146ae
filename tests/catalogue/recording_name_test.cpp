// The recorder's name grammar, kinds, labels, companion paths and layout detection.
#include "catalogue/recording_name.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

namespace ravir {
namespace {

// A name with the given first four letters, date, time, number and camera letter.
QString name(const char* letters, const char* camera = "M", const char* number = "000123",
             const char* date = "250101", const char* time = "120000")
{
    return QString("%1-%2-%3-%4%5.MOV").arg(letters, date, time, number, camera);
}

TEST(RecordingNameGrammar, AcceptsExactlyTheRecorderNames)
{
    EXPECT_TRUE(IsRecordingName(name("AG__")));
    EXPECT_TRUE(IsRecordingName(name("AG__", "S")));
    EXPECT_TRUE(IsMainRecordingName(name("AG__")));
    EXPECT_FALSE(IsMainRecordingName(name("AG__", "S")));
    EXPECT_TRUE(IsRecordingName("/card/Normal/" + name("PGTS")));
    EXPECT_TRUE(IsRecordingName(name("T_R_")));

    // Lower-case extension fails the grammar but still has a MOV extension.
    QString lower = name("A___");
    lower.replace(".MOV", ".mov");
    EXPECT_FALSE(IsRecordingName(lower));
    EXPECT_TRUE(HasMovExtension(lower));

    // Position 26 is any character except a line terminator.
    QString anyDot = name("A___");
    anyDot[26] = 'x';
    EXPECT_TRUE(IsRecordingName(anyDot));
    anyDot[26] = '\n';
    EXPECT_FALSE(IsRecordingName(anyDot));
    EXPECT_FALSE(HasMovExtension(name("A___").replace(".MOV", "xMOV")));

    // 29 and 31 characters, a bad letter in each position class, non-digits, lower-case letters.
    EXPECT_FALSE(IsRecordingName(name("A___").remove(5, 1)));
    EXPECT_FALSE(IsRecordingName(name("A___") + "X"));
    EXPECT_FALSE(IsRecordingName(name("B___")));
    EXPECT_FALSE(IsRecordingName(name("AX__")));
    EXPECT_FALSE(IsRecordingName(name("A_X_")));
    EXPECT_FALSE(IsRecordingName(name("A__X")));
    EXPECT_FALSE(IsRecordingName(name("A___", "D")));
    EXPECT_FALSE(IsRecordingName(name("A___", "M", "00012a")));
    EXPECT_FALSE(IsRecordingName(name("a___")));
    EXPECT_FALSE(IsRecordingName(QString(name("A___")).replace(11, 1, "_")));
    EXPECT_FALSE(IsRecordingName(QString(name("A___")).replace(5, 1, QChar(0xFF11))));  // fullwidth 1

    // '_' first: a recording only with third letter T.
    EXPECT_TRUE(IsRecordingName(name("__T_")));
    EXPECT_EQ(KindOf(name("__T_")), RecordingKind::Parking);
    EXPECT_FALSE(IsRecordingName(name("__O_")));
    EXPECT_EQ(KindOf(name("__O_")), RecordingKind::None);
}

// The hand-written check accepts exactly what the recorder's two expressions accept: every
// single-character change of a valid name, in every position, is judged the same way.
TEST(RecordingNameGrammar, AgreesWithTheRegularExpressions)
{
    const std::wregex any(L"[APT_]{1,1}[GM_]{1,1}[ORT_]{1,1}[S_]{1,1}-[0-9]{6,6}-[0-9]{6,6}-"
                          L"[0-9]{6,6}[SM]{1,1}.MOV");
    const std::wregex mainOnly(L"[APT_]{1,1}[GM_]{1,1}[ORT_]{1,1}[S_]{1,1}-[0-9]{6,6}-"
                               L"[0-9]{6,6}-[0-9]{6,6}[M]{1,1}.MOV");
    const QString probes = QString::fromUtf8("APT_GMORSD-09amx.\n\r\t é\u3000");
    const QString bases[] = {name("AG__"), name("__TS", "S"), name("PMO_")};
    int checked = 0;
    for (const QString& base : bases) {
        for (int pos = 0; pos < base.size(); ++pos) {
            for (QChar c : probes) {
                QString n = base;
                n[pos] = c;
                const std::wstring w = n.toStdWString();
                const bool kindOk = KindOf(n) != RecordingKind::None;
                SCOPED_TRACE(n.toStdString());
                EXPECT_EQ(IsRecordingName(n), std::regex_match(w, any) && kindOk);
                EXPECT_EQ(IsMainRecordingName(n), std::regex_match(w, mainOnly) && kindOk);
                ++checked;
            }
        }
        for (int cut = 0; cut <= base.size() + 1; ++cut) {
            const QString n = cut <= base.size() ? base.left(cut) : base + "V";
            EXPECT_EQ(IsRecordingName(n), std::regex_match(n.toStdWString(), any)
                                              && KindOf(n) != RecordingKind::None);
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(RecordingNameKinds, KindMaskAndLabelTables)
{
    struct Row {
        const char* letters;
        RecordingKind kind;
        int mask;
        QString label;
    };
    const QString plus = "+";
    const Row rows[] = {
        {"A___", RecordingKind::Continuous, 1, text(TXT_KIND_CONTINUOUS_2)},
        {"AG__", RecordingKind::Impact, 1 | 4, text(TXT_IMPACT_3)},
        {"AGO_", RecordingKind::Impact, 1 | 4, text(TXT_IMPACT_3)},
        {"AM__", RecordingKind::Manual, 1 | 2, text(TXT_MANUAL_3)},
        {"A_T_", RecordingKind::Continuous, 1, text(TXT_PARKING_TIMELAPSE)},
        {"A_O_", RecordingKind::Continuous, 1, QString()},
        {"A_R_", RecordingKind::Continuous, 1, QString()},
        {"P___", RecordingKind::Parking, 8, text(TXT_PARKING_2)},
        {"PG__", RecordingKind::ParkingImpact, 16, text(TXT_PARKING_IMPACT_2)},
        {"P_T_", RecordingKind::Parking, 8 | 1, text(TXT_PARKING_TIMELAPSE)},
        {"PGT_", RecordingKind::ParkingImpact, 16 | 1,
         text(TXT_PARKING_TIMELAPSE) + plus + text(TXT_IMPACT_3)},
        {"PM__", RecordingKind::Parking, 2 | 8, QString()},
        {"T___", RecordingKind::Continuous, 1, text(TXT_CONTINUOUS_TIMELAPSE)},
        {"TG__", RecordingKind::Impact, 1 | 4,
         text(TXT_CONTINUOUS_TIMELAPSE) + plus + text(TXT_IMPACT_3)},
        {"TMT_", RecordingKind::Manual, 1 | 2,
         text(TXT_CONTINUOUS_TIMELAPSE) + plus + text(TXT_MANUAL_3)},
        {"__T_", RecordingKind::Parking, 1, QString()},
        {"_G__", RecordingKind::None, 4, QString()},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.letters);
        EXPECT_EQ(KindOf(name(r.letters)), r.kind);
        EXPECT_EQ(KindMaskOf("/x/" + name(r.letters)), r.mask);
        EXPECT_EQ(KindLabel("/x/" + name(r.letters)), r.label);
    }
    EXPECT_EQ(text(TXT_PARKING_TIMELAPSE) + plus + text(TXT_IMPACT_3),
              QString::fromUtf8("駐車タイムラプス+衝撃"));
    // A 29-character name has no label and fails the grammar.
    const QString short29 = name("AG__").remove(5, 1);
    EXPECT_EQ(KindLabel(short29), QString());
    EXPECT_FALSE(IsRecordingName(short29));
    EXPECT_EQ(KindOf(""), RecordingKind::None);
    EXPECT_EQ(KindMaskOf(""), 0);
}

TEST(RecordingNameText, ListTextAndFileNumber)
{
    EXPECT_EQ(ListText("/c/Normal/" + name("AG__")), "AG__-120000-000123");
    EXPECT_EQ(ListText(name("AG__", "S", "000456")), "AG__-120000-000456");
    EXPECT_EQ(ListText("/c/readme.txt.bak"), "readme");
    EXPECT_EQ(ListText("/c/noext"), "noext");
    EXPECT_EQ(ListText(name("__O_")), "__O_-250101-120000-000123M");

    EXPECT_EQ(FileNumberText(name("A___", "M", "004711")), "004711");
    EXPECT_EQ(FileNumberOf("/a/" + name("A___", "M", "004711")), 4711);
    EXPECT_EQ(FileNumberOf(name("A___", "M", "99999x")), -1);
    EXPECT_EQ(FileNumberOf("short.MOV"), -1);
    EXPECT_EQ(FileNumberText("short.MOV"), QString());
}

// Sets TZ for the scope of one test and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray old_;
    bool had_;
};

TEST(RecordingNameTime, StartTimeIsLocalAndRollsOver)
{
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ScopedTimeZone tz(zone);
        // Plain time: the fields as written, with the day of week (2025-01-01 was a Wednesday).
        const SystemTime plain = StartTimeOf("/c/" + name("A___", "M", "000001", "250101", "123456"));
        EXPECT_EQ(plain, (SystemTime{2025, 1, 3, 1, 12, 34, 56, 0}));
        // Month 13 rolls into January of the next year.
        const SystemTime month13 = StartTimeOf(name("A___", "M", "000001", "251315", "080000"));
        EXPECT_EQ(month13, (SystemTime{2026, 1, 4, 15, 8, 0, 0, 0}));
        // Second 60 and hour 24 roll over too; day 0 is the last day of the month before.
        EXPECT_EQ(StartTimeOf(name("A___", "M", "000001", "240229", "235960")),
                  (SystemTime{2024, 3, 5, 1, 0, 0, 0, 0}));
        EXPECT_EQ(StartTimeOf(name("A___", "M", "000001", "250300", "240000")),
                  (SystemTime{2025, 3, 6, 1, 0, 0, 0, 0}));
    }
}

TEST(RecordingNameTime, UnreadableNameGivesTheEpochInLocalTime)
{
    {
        ScopedTimeZone tz("UTC");
        EXPECT_EQ(StartTimeOf("/c/nothing.MOV"), (SystemTime{1970, 1, 4, 1, 0, 0, 0, 0}));
        EXPECT_EQ(StartTimeOf(name("A___", "M", "000001", "25ab01")),
                  (SystemTime{1970, 1, 4, 1, 0, 0, 0, 0}));
    }
    {
        ScopedTimeZone tz("Asia/Tokyo");
        EXPECT_EQ(StartTimeOf(""), (SystemTime{1970, 1, 4, 1, 9, 0, 0, 0}));
    }
}

TEST(RecordingNamePaths, PairedPath)
{
    const QString sub = "/media/card/Normal/Sub_/" + name("AG__", "S");
    EXPECT_EQ(PairedPathOf(sub), "/media/card/Normal/Main/" + name("AG__", "M"));
    EXPECT_EQ(PairedPathOf(PairedPathOf(sub)), sub);
    // Case-insensitive folder test; the replacement is written as "Sub_".
    EXPECT_EQ(PairedPathOf("/c/MAIN/" + name("A___")), "/c/Sub_/" + name("A___", "S"));
    // Outside Main/Sub_ only the camera letter changes.
    EXPECT_EQ(PairedPathOf("/c/Normal/" + name("A___")), "/c/Normal/" + name("A___", "S"));
    // A folder that merely ends in "Main" is not the camera folder's place unless it fits.
    EXPECT_EQ(PairedPathOf("/Main/x/" + name("A___")), "/Main/x/" + name("A___", "S"));
    EXPECT_EQ(PairedPathOf("abc"), "abc");
    EXPECT_EQ(PairedPathOf("/c/file.txt"), "/c/file.txt");
}

TEST(RecordingNamePaths, TelemetryPathFollowsTheLayout)
{
    SetCurrentLayoutIndex(0);
    const QString stem = "AG__-250101-120000-000123";
    EXPECT_EQ(TelemetryPathOf("/c/Normal/" + stem + "M.MOV"), "/c/_NData/" + stem + "D.ADA");
    EXPECT_EQ(TelemetryPathOf("/c/parking/" + stem + "M.MOV"), "/c/_PData/" + stem + "D.ADA");
    // The folder must be the immediate parent.
    EXPECT_EQ(TelemetryPathOf("/c/Normal/x/" + stem + "M.MOV"), "/c/Normal/x/" + stem + "D.ADA");
    // Not a layout folder: letter and extension only.
    EXPECT_EQ(TelemetryPathOf("/c/copy/" + stem + "S.MOV"), "/c/copy/" + stem + "D.ADA");
    // Layout 1 uses Video -> _VData; "Normal" is then not a layout folder.
    SetCurrentLayoutIndex(1);
    EXPECT_EQ(CurrentLayoutIndex(), 1);
    EXPECT_EQ(TelemetryPathOf("/c/Video/" + stem + "M.MOV"), "/c/_VData/" + stem + "D.ADA");
    EXPECT_EQ(TelemetryPathOf("/c/Normal/" + stem + "M.MOV"), "/c/Normal/" + stem + "D.ADA");
    SetCurrentLayoutIndex(0);
    // A folder name with a dot does not lose its part after the dot.
    EXPECT_EQ(TelemetryPathOf("/c.d/abcdefgh"), "/c.d/abcDefgh.ADA");
}

TEST(RecordingNamePaths, MovExtensionAndLayoutFolderNames)
{
    EXPECT_TRUE(HasMovExtension("/a/b.MoV"));
    EXPECT_FALSE(HasMovExtension("/a/b.MOVX"));
    EXPECT_FALSE(HasMovExtension("/a/b.MO"));
    EXPECT_FALSE(HasMovExtension("/a.MOV/b"));
    EXPECT_FALSE(HasMovExtension(""));
    EXPECT_TRUE(IsLayout1MovieFolder("Video"));
    EXPECT_TRUE(IsLayout1MovieFolder("Parking"));
    EXPECT_FALSE(IsLayout1MovieFolder("video"));
    EXPECT_FALSE(IsLayout1MovieFolder("Normal"));
    EXPECT_STREQ(kFolderKindTable[0][1].folder, "_NData");
    EXPECT_STREQ(kFolderKindTable[1][1].folder, "_VData");
    EXPECT_EQ(kFolderKindTable[1][3].typeLetter, 'D');
    EXPECT_STREQ(kFolderKindTable[0][2].deletedExtension, "DMY");
}

TEST(RecordingNameLayout, DetectLayoutProbesTheCardRoot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir root(dir.path());

    SetCurrentLayoutIndex(1);
    EXPECT_FALSE(DetectLayout(root.path()));
    EXPECT_EQ(CurrentLayoutIndex(), 0);

    // Only "Parking" and "_PData": layout folders exist, index 0.
    ASSERT_TRUE(root.mkdir("Parking") && root.mkdir("_PData"));
    SetCurrentLayoutIndex(1);
    EXPECT_TRUE(DetectLayout(root.path()));
    EXPECT_EQ(CurrentLayoutIndex(), 0);

    ASSERT_TRUE(root.mkdir("Video"));
    EXPECT_TRUE(DetectLayout(root.path() + "/"));
    EXPECT_EQ(CurrentLayoutIndex(), 1);

    // Layout 0 wins when both movie folders exist.
    ASSERT_TRUE(root.mkdir("Normal"));
    EXPECT_TRUE(DetectLayout(root.path()));
    EXPECT_EQ(CurrentLayoutIndex(), 0);

    // A file named like a layout folder is not a folder.
    QTemporaryDir other;
    QFile file(other.path() + "/Normal");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(DetectLayout(other.path()));
}

}  // namespace
}  // namespace ravir
