#pragma once
// Converting texts into the character set of a file that other programs read (the recording
// list CSV): the user's locale character set, or a named one such as CP932, through iconv.
#include <QByteArray>
#include <QString>

#include <memory>

namespace ravir {

// The character set of the user's locale (LC_ALL, LC_CTYPE, LANG), as iconv names it
// ("UTF-8", "EUC-JP", "ANSI_X3.4-1968", ...). "ANSI_X3.4-1968" when no locale is set.
QByteArray LocaleCharset();

// True for the names of plain 7-bit ASCII ("ANSI_X3.4-1968", "ASCII", "US-ASCII"), the charset
// of the C locale, which cannot hold any Japanese text.
bool IsAsciiCharset(const QByteArray& charset);

// Encodes text into one character set. A character the set cannot hold becomes '?', as the
// platform's default character does in the viewer's original form of this export.
class TextEncoder {
public:
    explicit TextEncoder(const QByteArray& charset);
    ~TextEncoder();
    TextEncoder(const TextEncoder&) = delete;
    TextEncoder& operator=(const TextEncoder&) = delete;

    // False when iconv does not know the character set.
    bool isValid() const;
    const QByteArray& charset() const { return charset_; }

    // The encoded text; *replaced (when given) is increased by the number of characters that
    // became '?'.
    QByteArray encode(const QString& text, int* replaced = nullptr);

private:
    QByteArray charset_;
    bool utf8_ = false;
    void* cd_ = nullptr;  // iconv_t
};

}  // namespace ravir
