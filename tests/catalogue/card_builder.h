#pragma once
// Small recorder cards written by the catalogue tests themselves: movies that pass the
// container check (a 300-byte file with "ftyp" at bytes 4..7), other files, and telemetry files
// with a chosen mark byte.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir::test {

// "AG__-250101-120000-000123M.MOV" from its parts.
inline QString recName(const QString& letters, int number, const QString& camera = "M",
                       const QString& date = "250101", const QString& time = "120000",
                       const QString& extension = "MOV")
{
    return QString("%1-%2-%3-%4%5.%6")
        .arg(letters, date, time)
        .arg(number, 6, 10, QLatin1Char('0'))
        .arg(camera, extension);
}

class CardBuilder {
public:
    CardBuilder() { EXPECT_TRUE(dir_.isValid()); }
    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const { return dir_.path() + "/" + relative; }

    void folder(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(path(relative))); }

    void file(const QString& relative, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(relative);
        f.write(bytes);
    }

    // A file that passes the container check, padded to size bytes (at least 300).
    static QByteArray movieBytes(int size = 300)
    {
        QByteArray bytes("\x00\x00\x00\x14" "ftypqt  \x00\x00\x02\x00qt  ", 20);
        bytes.append(QByteArray(std::max(size, 300) - bytes.size(), '\0'));
        return bytes;
    }
    void movie(const QString& relative, int size = 300) const { file(relative, movieBytes(size)); }

    // A telemetry block without records whose mark byte (the trigger code) is mark.
    static QByteArray telemetryBytes(char mark, const QByteArray& firmware = "010502",
                                     const QByteArray& number = "004711")
    {
        QByteArray block("QVXDAT");
        QByteArray header(26, '0');
        header[16] = 'M';                       // kind letter
        header.replace(17, 6, firmware);        // firmware digits
        block += header;
        block += QByteArray("\x00\x00", 2);     // record count 0
        block += mark;
        block += '\0';
        block += "QVXEND";
        block += number;
        return block;
    }
    void telemetry(const QString& relative, char mark = 0) const
    {
        file(relative, telemetryBytes(mark));
    }

    // A main movie, its sub movie and its telemetry file in a layout-0 style card folder pair.
    void recording(const QString& movieFolder, const QString& dataFolder, const QString& name,
                   bool sub = true, bool data = true) const
    {
        movie(movieFolder + "/" + name);
        if (sub) {
            QString subName = name;
            subName[25] = 'S';
            movie(movieFolder + "/" + subName, 400);
        }
        if (data) {
            QString dataName = name;
            dataName[25] = 'D';
            dataName.replace(".MOV", ".ADA");
            telemetry(dataFolder + "/" + dataName);
        }
    }

private:
    QTemporaryDir dir_;
};

}  // namespace ravir::test
