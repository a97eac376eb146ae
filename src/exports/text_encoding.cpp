#include "exports/text_encoding.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace ravir {
namespace {

iconv_t handle(void* cd) { return static_cast<iconv_t>(cd); }
const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
int sequenceLength(unsigned char b)
{
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

}  // namespace

QByteArray LocaleCharset()
{
    // The user's locale from the environment, without touching the process's global locale.
    locale_t loc = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        loc = ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        return QByteArrayLiteral("ANSI_X3.4-1968");
    const QByteArray charset(::nl_langinfo_l(CODESET, loc));
    ::freelocale(loc);
    return charset.isEmpty() ? QByteArrayLiteral("ANSI_X3.4-1968") : charset;
}

bool IsAsciiCharset(const QByteArray& charset)
{
    const QByteArray c = charset.toUpper();
    return c == "ANSI_X3.4-1968" || c == "ASCII" || c == "US-ASCII" || c == "646";
}

TextEncoder::TextEncoder(const QByteArray& charset) : charset_(charset)
{
    const QByteArray upper = charset.toUpper();
    utf8_ = upper == "UTF-8" || upper == "UTF8";
    if (utf8_)
        return;
    const iconv_t cd = ::iconv_open(charset.constData(), "UTF-8");
    if (cd != kNoHandle)
        cd_ = cd;
}

TextEncoder::~TextEncoder()
{
    if (cd_)
        ::iconv_close(handle(cd_));
}

bool TextEncoder::isValid() const { return utf8_ || cd_ != nullptr; }

QByteArray TextEncoder::encode(const QString& text, int* replaced)
{
    if (utf8_)
        return text.toUtf8();
    if (!cd_)
        return QByteArray();
    QByteArray in = text.toUtf8();
    QByteArray out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = in.data();
    size_t inLeft = static_cast<size_t>(in.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    ::iconv(handle(cd_), nullptr, nullptr, nullptr, nullptr);  // initial shift state

    auto grow = [&]() {
        const qsizetype used = outPtr - out.data();
        out.resize(out.size() * 2);
        outPtr = out.data() + used;
        outLeft = static_cast<size_t>(out.size() - used);
    };
    while (inLeft > 0) {
        if (::iconv(handle(cd_), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            grow();
        } else if (errno == EILSEQ || errno == EINVAL) {
            // A character the set cannot hold: '?' in its place.
            if (outLeft < 1)
                grow();
            *outPtr++ = '?';
            --outLeft;
            const size_t skip = std::min<size_t>(
                static_cast<size_t>(sequenceLength(static_cast<unsigned char>(*inPtr))), inLeft);
            inPtr += skip;
            inLeft -= skip;
            if (replaced)
                ++*replaced;
        } else {
            return QByteArray();
        }
    }
    // Flush a stateful encoding back to its initial state.
    for (;;) {
        if (::iconv(handle(cd_), nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != E2BIG)
            break;
        grow();
    }
    out.truncate(outPtr - out.data());
    return out;
}

}  // namespace ravir
