#include "exports/report_workbook.h"

#include "exports/report_template.h"
#include "shell/safe_write.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>
#include <zip.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ravir {
namespace {

constexpr char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr char kPkgRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kRelWorksheet[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr char kRelDrawing[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
constexpr char kRelImage[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
constexpr char kRelOfficeDocument[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
constexpr char kRelCalcChain[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
constexpr char kCtWorksheet[] =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr char kCtDrawing[] = "application/vnd.openxmlformats-officedocument.drawing+xml";

// Limits against hostile packages (a small file that inflates to a huge part): a report of
// 300 sheets, each with its picture, inflates to well under 50 MB, so no real report comes
// near them. A larger package is not a workbook this program reads; nothing of it is inflated
// beyond the limits, so a report never needs more than a few hundred megabytes.
constexpr zip_uint64_t kMaxEntry = 64ull << 20;   // one part, inflated
constexpr zip_uint64_t kMaxTotal = 128ull << 20;  // all parts together, inflated; the file too
constexpr zip_int64_t kMaxEntries = 20000;

// ---------------------------------------------------------------- the package as named parts
struct Package {
    std::vector<std::string> order;  // part names in their order in the archive
    std::map<std::string, std::string> parts;

    bool has(const std::string& name) const { return parts.count(name) != 0; }
    void put(const std::string& name, std::string bytes)
    {
        if (!has(name))
            order.push_back(name);
        parts[name] = std::move(bytes);
    }
    void remove(const std::string& name)
    {
        if (parts.erase(name))
            std::erase(order, name);
    }
};

bool LoadPackage(const QByteArray& bytes, Package& package, QString& why)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()),
                                                    0, &error);
    if (!source) {
        why = "out of memory";
        zip_error_fini(&error);
        return false;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        zip_source_free(source);
        why = QString("not a zip package (%1)").arg(zip_error_strerror(&error));
        zip_error_fini(&error);
        return false;
    }
    zip_error_fini(&error);
    bool ok = true;
    zip_uint64_t total = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count > kMaxEntries) {
        why = "the package has too many parts";
        ok = false;
    }
    for (zip_int64_t i = 0; ok && i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
            !(st.valid & ZIP_STAT_SIZE)) {
            why = "an entry of the package cannot be read";
            ok = false;
            break;
        }
        std::string name = st.name;
        if (name.empty() || name.back() == '/')
            continue;
        total += st.size;
        if (st.size > kMaxEntry || total > kMaxTotal) {
            why = QString("%1 inflates to more than this program reads")
                      .arg(QString::fromStdString(name));
            ok = false;
            break;
        }
        zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!file) {
            why = QString("%1 cannot be read").arg(QString::fromStdString(name));
            ok = false;
            break;
        }
        std::string data(size_t(st.size), '\0');
        zip_uint64_t got = 0;
        while (got < st.size) {
            const zip_int64_t n = zip_fread(file, data.data() + got, st.size - got);
            if (n <= 0)
                break;
            got += zip_uint64_t(n);
        }
        char extra;
        const bool longer = got == st.size && zip_fread(file, &extra, 1) > 0;
        zip_fclose(file);
        if (got != st.size || longer) {
            why = QString("%1 is damaged").arg(QString::fromStdString(name));
            ok = false;
            break;
        }
        package.put(name, std::move(data));
    }
    zip_discard(archive);  // also frees the source
    return ok;
}

bool SavePackage(const Package& package, QByteArray& out, QString& why)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) {
        zip_error_fini(&error);
        why = "out of memory";
        return false;
    }
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    bool ok = archive != nullptr;
    // "[Content_Types].xml" first, as office programs write it.
    std::vector<std::string> names;
    names.push_back("[Content_Types].xml");
    for (const std::string& name : package.order)
        if (name != names.front())
            names.push_back(name);
    for (const std::string& name : names) {
        if (!ok)
            break;
        auto it = package.parts.find(name);
        if (it == package.parts.end())
            continue;
        zip_source_t* part = zip_source_buffer(archive, it->second.data(), it->second.size(), 0);
        if (!part || zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) {
            if (part)
                zip_source_free(part);
            ok = false;
        }
    }
    if (archive) {
        if (!ok)
            zip_discard(archive);
        else if (zip_close(archive) != 0) {
            zip_discard(archive);
            ok = false;
        }
    }
    if (ok && zip_source_open(buffer) == 0) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_source_stat(buffer, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) {
            out.resize(qsizetype(st.size));
            zip_uint64_t got = 0;
            while (got < st.size) {
                const zip_int64_t n = zip_source_read(buffer, out.data() + got, st.size - got);
                if (n <= 0)
                    break;
                got += zip_uint64_t(n);
            }
            ok = got == st.size;
        } else {
            ok = false;
        }
        zip_source_close(buffer);
    } else {
        ok = false;
    }
    zip_source_free(buffer);
    if (!ok)
        why = "the workbook package could not be put together";
    return ok;
}

// ---------------------------------------------------------------- XML helpers
const char* LocalName(const pugi::xml_node& node)
{
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

std::string Prefix(const pugi::xml_node& node)
{
    const std::string name = node.name();
    const auto colon = name.rfind(':');
    return colon == std::string::npos ? std::string() : name.substr(0, colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, const char* local)
{
    for (pugi::xml_node c : node.children())
        if (c.type() == pugi::node_element && std::strcmp(LocalName(c), local) == 0)
            return c;
    return {};
}

std::vector<pugi::xml_node> Children(const pugi::xml_node& node, const char* local)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c : node.children())
        if (c.type() == pugi::node_element && std::strcmp(LocalName(c), local) == 0)
            out.push_back(c);
    return out;
}

// The attribute of the relationships namespace named `local` ("id"), whatever its prefix.
pugi::xml_attribute RelAttribute(const pugi::xml_node& node, const char* local)
{
    for (pugi::xml_attribute a : node.attributes()) {
        const std::string name = a.name();
        const auto colon = name.find(':');
        if (colon == std::string::npos || name.substr(colon + 1) != local)
            continue;
        // find the namespace of the prefix on this node or an ancestor
        const std::string decl = "xmlns:" + name.substr(0, colon);
        for (pugi::xml_node n = node; n; n = n.parent())
            if (pugi::xml_attribute ns = n.attribute(decl.c_str()))
                if (std::strcmp(ns.value(), kRelNs) == 0)
                    return a;
    }
    return {};
}

// The prefix the document uses for the relationships namespace; declared on the root as "r"
// when missing.
std::string RelPrefix(pugi::xml_document& doc)
{
    pugi::xml_node root = doc.document_element();
    for (pugi::xml_attribute a : root.attributes()) {
        const std::string name = a.name();
        if (name.rfind("xmlns:", 0) == 0 && std::strcmp(a.value(), kRelNs) == 0)
            return name.substr(6);
    }
    std::string prefix = "r";
    while (root.attribute(("xmlns:" + prefix).c_str()))
        prefix += "r";
    root.append_attribute(("xmlns:" + prefix).c_str()) = kRelNs;
    return prefix;
}

// Parts are written back as they were read: whitespace-only texts (a cell holding spaces) and
// line ends stay.
constexpr unsigned kParseOptions = (pugi::parse_default | pugi::parse_declaration |
                                    pugi::parse_ws_pcdata) & ~pugi::parse_eol;

bool Parse(const Package& package, const std::string& part, pugi::xml_document& doc)
{
    auto it = package.parts.find(part);
    if (it == package.parts.end())
        return false;
    return doc.load_buffer(it->second.data(), it->second.size(),
                           kParseOptions) &&
           doc.document_element();
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override
    {
        out.append(static_cast<const char*>(data), size);
    }
};

std::string Serialize(const pugi::xml_document& doc)
{
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return writer.out;
}

std::string Folder(const std::string& part)
{
    const auto slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string RelsPathOf(const std::string& part)
{
    const auto slash = part.rfind('/');
    if (slash == std::string::npos)
        return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

// A relationship target resolved against the folder of its source part.
std::string Resolve(const std::string& sourcePart, const std::string& target)
{
    std::string path = target.rfind('/', 0) == 0 ? target.substr(1) : Folder(sourcePart) + target;
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= path.size()) {
        const auto end = path.find('/', start);
        const std::string piece = path.substr(start, end == std::string::npos ? std::string::npos
                                                                              : end - start);
        if (piece == "..") {
            if (!pieces.empty())
                pieces.pop_back();
        } else if (!piece.empty() && piece != ".") {
            pieces.push_back(piece);
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    std::string out;
    for (const std::string& p : pieces)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string FreeName(const Package& package, const std::string& stem, const std::string& ext)
{
    for (int i = 1;; ++i) {
        const std::string name = stem + std::to_string(i) + ext;
        if (!package.has(name))
            return name;
    }
}

std::string FreeRelId(const pugi::xml_node& relationships)
{
    std::set<std::string> ids;
    for (pugi::xml_node r : relationships.children())
        ids.insert(r.attribute("Id").value());
    for (int i = 1;; ++i) {
        const std::string id = "rId" + std::to_string(i);
        if (!ids.count(id))
            return id;
    }
}

void AddRelationship(pugi::xml_node relationships, const std::string& id, const char* type,
                     const std::string& target)
{
    pugi::xml_node r = relationships.append_child((Prefix(relationships) + "Relationship").c_str());
    r.append_attribute("Id") = id.c_str();
    r.append_attribute("Type") = type;
    r.append_attribute("Target") = target.c_str();
}

pugi::xml_node EmptyRelationships(pugi::xml_document& doc)
{
    doc.reset();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node root = doc.append_child("Relationships");
    root.append_attribute("xmlns") = kPkgRelNs;
    return root;
}

// A relative path from the folder of `from` to `to` (both part names).
std::string RelativeTarget(const std::string& from, const std::string& to)
{
    std::string a = Folder(from);
    std::string up;
    std::string b = to;
    while (!a.empty() && b.rfind(a, 0) != 0) {
        a.pop_back();
        const auto slash = a.rfind('/');
        a = slash == std::string::npos ? std::string() : a.substr(0, slash + 1);
        up += "../";
    }
    return up + b.substr(a.size());
}

// ---------------------------------------------------------------- sheet names
QString QuotedSheet(const QString& name)
{
    QString n = name;
    n.replace('\'', "''");
    return "'" + n + "'";
}

// Replaces references to sheet `from` in a formula text by references to `to`.
QString RenameInFormula(const QString& formula, const QString& from, const QString& to)
{
    QString out = formula;
    out.replace(QuotedSheet(from) + "!", QuotedSheet(to) + "!");
    // An unquoted reference stands at the start or after an operator or a parenthesis.
    QString result;
    const QString unquoted = from + "!";
    qsizetype i = 0;
    while (i < out.size()) {
        if (out.mid(i, unquoted.size()) == unquoted &&
            (i == 0 || QString("=(,+-*/&:; ").contains(out[i - 1]))) {
            result += QuotedSheet(to) + "!";
            i += unquoted.size();
        } else {
            result += out[i++];
        }
    }
    return result;
}

// A name office programs accept: no []:*?/\ (they become '_'), not empty, not starting or
// ending with an apostrophe, at most 31 characters.
QString ValidSheetName(const QString& wanted)
{
    QString name = wanted.trimmed();
    for (QChar& c : name)
        if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20)
            c = u'_';
    while (name.startsWith(u'\''))
        name.remove(0, 1);
    while (name.endsWith(u'\''))
        name.chop(1);
    if (name.isEmpty() || name.compare("History", Qt::CaseInsensitive) == 0)
        name = "Sheet";
    return name.left(31);
}

QString UniqueSheetName(const QString& requested, const std::vector<QString>& existing)
{
    const QString wanted = ValidSheetName(requested);
    auto taken = [&](const QString& name) {
        for (const QString& e : existing)
            if (e.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    if (!taken(wanted))
        return wanted;
    for (int i = 2;; ++i) {
        const QString suffix = QString(" (%1)").arg(i);
        const QString name = wanted.left(31 - suffix.size()) + suffix;
        if (!taken(name))
            return name;
    }
}

// ---------------------------------------------------------------- the picture
// Column width in characters to pixels for the default font (maximum digit width 7).
int ColumnPixels(double width)
{
    return int(((256.0 * width + int(128.0 / 7)) / 256.0) * 7);
}

struct SheetGeometry {
    double defaultColumn = 8.43;
    double defaultRow = 15;
    std::map<int, double> columns;  // 0-based column -> width
    std::map<int, double> rows;     // 0-based row -> height in points
};

SheetGeometry GeometryOf(const pugi::xml_node& worksheet)
{
    SheetGeometry g;
    if (pugi::xml_node format = Child(worksheet, "sheetFormatPr")) {
        if (format.attribute("defaultRowHeight"))
            g.defaultRow = format.attribute("defaultRowHeight").as_double(15);
        if (format.attribute("defaultColWidth"))
            g.defaultColumn = format.attribute("defaultColWidth").as_double(8.43);
    }
    if (pugi::xml_node cols = Child(worksheet, "cols"))
        for (pugi::xml_node col : Children(cols, "col")) {
            const int first = col.attribute("min").as_int(0);
            const int last = std::min(col.attribute("max").as_int(0), report::kBoxLastCol + 1);
            for (int c = first; c >= 1 && c <= last; ++c)
                g.columns[c - 1] = col.attribute("width").as_double(g.defaultColumn);
        }
    if (pugi::xml_node data = Child(worksheet, "sheetData"))
        for (pugi::xml_node row : Children(data, "row"))
            if (row.attribute("ht"))
                g.rows[row.attribute("r").as_int(0) - 1] = row.attribute("ht").as_double();
    return g;
}

std::string DrawingXml(long long cx, long long cy, const std::string& imageRel)
{
    auto marker = [](const char* tag, int col, int row) {
        return std::string("<xdr:") + tag + "><xdr:col>" + std::to_string(col) +
               "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" + std::to_string(row) +
               "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:" + tag + ">";
    };
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/"
               "spreadsheetDrawing\" xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/"
               "main\"><xdr:twoCellAnchor editAs=\"oneCell\">") +
           marker("from", report::kBoxFirstCol, report::kBoxFirstRow) +
           marker("to", report::kBoxLastCol, report::kBoxLastRow) +
           "<xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"2\" name=\"Scene\" descr=\"scene\"/>"
           "<xdr:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></xdr:cNvPicPr></xdr:nvPicPr>"
           "<xdr:blipFill><a:blip xmlns:r=\"" +
           kRelNs + "\" r:embed=\"" + imageRel +
           "\"/><a:stretch><a:fillRect/></a:stretch></xdr:blipFill>"
           "<xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"" +
           std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
           "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr>"
           "</xdr:pic><xdr:clientData/></xdr:twoCellAnchor></xdr:wsDr>";
}

// Elements that follow <drawing> in a worksheet.
constexpr const char* kAfterDrawing[] = {"legacyDrawing", "legacyDrawingHF", "drawingHF",
                                         "picture",       "oleObjects",      "controls",
                                         "webPublishItems", "tableParts",    "extLst"};

// Elements of a copied sheet that refer to parts of the original sheet; the copy drops them.
constexpr const char* kDroppedInCopy[] = {"drawing",    "legacyDrawing", "legacyDrawingHF",
                                          "drawingHF",  "picture",       "oleObjects",
                                          "controls",   "tableParts"};

struct ContentTypes {
    pugi::xml_document doc;
    void override(const std::string& part, const char* type)
    {
        pugi::xml_node root = doc.document_element();
        const std::string name = "/" + part;
        for (pugi::xml_node o : Children(root, "Override"))
            if (name == o.attribute("PartName").value())
                return;
        pugi::xml_node o = root.append_child((Prefix(root) + "Override").c_str());
        o.append_attribute("PartName") = name.c_str();
        o.append_attribute("ContentType") = type;
    }
    void removeOverride(const std::string& part)
    {
        pugi::xml_node root = doc.document_element();
        const std::string name = "/" + part;
        for (pugi::xml_node o : Children(root, "Override"))
            if (name == o.attribute("PartName").value())
                root.remove_child(o);
    }
    void defaultType(const char* extension, const char* type)
    {
        pugi::xml_node root = doc.document_element();
        for (pugi::xml_node d : Children(root, "Default"))
            if (QString(d.attribute("Extension").value())
                    .compare(extension, Qt::CaseInsensitive) == 0)
                return;
        pugi::xml_node d = root.prepend_child((Prefix(root) + "Default").c_str());
        d.append_attribute("Extension") = extension;
        d.append_attribute("ContentType") = type;
    }
};

// Puts the picture on the sheet part `sheetPart` (whose XML is `sheet`).
void AddPicture(Package& package, ContentTypes& types, const std::string& sheetPart,
                pugi::xml_document& sheet, pugi::xml_document& sheetRels, const QByteArray& jpeg)
{
    const std::string image = FreeName(package, "xl/media/image", ".jpeg");
    const std::string drawing = FreeName(package, "xl/drawings/drawing", ".xml");
    package.put(image, std::string(jpeg.constData(), size_t(jpeg.size())));

    const SheetGeometry g = GeometryOf(sheet.document_element());
    long long widthPx = 0;
    for (int c = report::kBoxFirstCol; c < report::kBoxLastCol; ++c) {
        auto it = g.columns.find(c);
        widthPx += ColumnPixels(it == g.columns.end() ? g.defaultColumn : it->second);
    }
    double heightPt = 0;
    for (int r = report::kBoxFirstRow; r < report::kBoxLastRow; ++r) {
        auto it = g.rows.find(r);
        heightPt += it == g.rows.end() ? g.defaultRow : it->second;
    }
    const long long cx = widthPx * 9525;
    const long long cy = (long long)(heightPt * 12700);

    pugi::xml_document drawingRels;
    pugi::xml_node dr = EmptyRelationships(drawingRels);
    AddRelationship(dr, "rId1", kRelImage, RelativeTarget(drawing, image));
    package.put(drawing, DrawingXml(cx, cy, "rId1"));
    package.put(RelsPathOf(drawing), Serialize(drawingRels));

    pugi::xml_node rels = sheetRels.document_element();
    const std::string id = FreeRelId(rels);
    AddRelationship(rels, id, kRelDrawing, RelativeTarget(sheetPart, drawing));

    pugi::xml_node root = sheet.document_element();
    const std::string prefix = RelPrefix(sheet);
    pugi::xml_node before;
    for (pugi::xml_node c : root.children()) {
        for (const char* name : kAfterDrawing)
            if (std::strcmp(LocalName(c), name) == 0) {
                before = c;
                break;
            }
        if (before)
            break;
    }
    const std::string tag = Prefix(root) + "drawing";
    pugi::xml_node element =
        before ? root.insert_child_before(tag.c_str(), before) : root.append_child(tag.c_str());
    element.append_attribute((prefix + ":id").c_str()) = id.c_str();

    types.defaultType("jpeg", "image/jpeg");
    types.override(drawing, kCtDrawing);
}

void SetSelected(pugi::xml_node worksheet, bool selected)
{
    if (pugi::xml_node views = Child(worksheet, "sheetViews"))
        for (pugi::xml_node view : Children(views, "sheetView")) {
            view.remove_attribute("tabSelected");
            if (selected)
                view.append_attribute("tabSelected") = "1";
        }
}

struct Failure {
    ReportStatus status;
    QString message;
};

// The edit itself; nothing is written to the disk here.
std::optional<Failure> EditWorkbook(Package& package, bool created, const QString& wantedName,
                                    const QByteArray& jpeg, QString& sheetName)
{
    auto broken = [](const QString& why) {
        return Failure{ReportStatus::NotAWorkbook, why};
    };
    // The workbook part from the package relationships.
    pugi::xml_document rootRels;
    if (!Parse(package, "_rels/.rels", rootRels))
        return broken("the package has no relationships");
    std::string workbookPart;
    for (pugi::xml_node r : Children(rootRels.document_element(), "Relationship"))
        if (std::strcmp(r.attribute("Type").value(), kRelOfficeDocument) == 0)
            workbookPart = Resolve("", r.attribute("Target").value());
    pugi::xml_document workbook, workbookRels;
    ContentTypes types;
    if (workbookPart.empty() || !Parse(package, workbookPart, workbook))
        return broken("the package has no workbook");
    const std::string workbookRelsPart = RelsPathOf(workbookPart);
    if (!Parse(package, workbookRelsPart, workbookRels))
        return broken("the workbook has no relationships");
    if (!Parse(package, "[Content_Types].xml", types.doc))
        return broken("the package has no content types");

    pugi::xml_node book = workbook.document_element();
    pugi::xml_node sheets = Child(book, "sheets");
    std::vector<pugi::xml_node> sheetList = Children(sheets, "sheet");
    if (sheetList.empty())
        return broken("the workbook has no sheet");
    pugi::xml_node first = sheetList.front();
    const std::string firstId = RelAttribute(first, "id").value();
    std::string firstPart;
    for (pugi::xml_node r : Children(workbookRels.document_element(), "Relationship"))
        if (firstId == r.attribute("Id").value() &&
            std::strcmp(r.attribute("Type").value(), kRelWorksheet) == 0)
            firstPart = Resolve(workbookPart, r.attribute("Target").value());
    pugi::xml_document firstSheet;
    if (firstPart.empty() || !Parse(package, firstPart, firstSheet))
        return broken("the first sheet of the workbook cannot be read");
    const QString firstName = QString::fromUtf8(first.attribute("name").value());

    std::vector<QString> names;
    for (pugi::xml_node s : sheetList)
        if (!created || s != first)
            names.push_back(QString::fromUtf8(s.attribute("name").value()));
    sheetName = UniqueSheetName(wantedName, names);
    const QByteArray nameUtf8 = sheetName.toUtf8();

    pugi::xml_node definedNames = Child(book, "definedNames");
    std::string targetPart;
    pugi::xml_document targetSheet, targetRels;
    if (created) {
        // The template's one sheet takes the name.
        first.attribute("name").set_value(nameUtf8.constData());
        for (pugi::xml_node dn : Children(definedNames, "definedName")) {
            const QString text = QString::fromUtf8(dn.text().get());
            dn.text().set(RenameInFormula(text, firstName, sheetName).toUtf8().constData());
        }
        targetPart = firstPart;
        targetSheet.reset(firstSheet);
        // libxlsxwriter rounds column widths to whole pixels of its default font; the form's
        // columns are exactly 2.453125 characters wide.
        if (pugi::xml_node cols = Child(targetSheet.document_element(), "cols"))
            for (pugi::xml_node col : Children(cols, "col"))
                col.attribute("width").set_value(report::kColumnWidth);
        if (!Parse(package, RelsPathOf(firstPart), targetRels))
            EmptyRelationships(targetRels);
    } else {
        // A copy of the first sheet in front, without the parts of the original.
        targetPart = FreeName(package, "xl/worksheets/sheet", ".xml");
        targetSheet.reset(firstSheet);
        pugi::xml_node root = targetSheet.document_element();
        for (const char* name : kDroppedInCopy)
            while (pugi::xml_node n = Child(root, name))
                root.remove_child(n);
        if (pugi::xml_node setup = Child(root, "pageSetup"))
            if (pugi::xml_attribute id = RelAttribute(setup, "id"))
                setup.remove_attribute(id);
        SetSelected(root, true);
        // A code name belongs to one sheet only.
        if (pugi::xml_node properties = Child(root, "sheetPr"))
            properties.remove_attribute("codeName");
        // Keep only the external links (hyperlinks) of the original's relationships.
        pugi::xml_node rels = EmptyRelationships(targetRels);
        pugi::xml_document originalRels;
        if (Parse(package, RelsPathOf(firstPart), originalRels))
            for (pugi::xml_node r : Children(originalRels.document_element(), "Relationship"))
                if (std::strcmp(r.attribute("TargetMode").value(), "External") == 0)
                    rels.append_copy(r);

        // Earlier sheets: no longer selected (two selected sheets would be edited together).
        for (pugi::xml_node s : sheetList) {
            const std::string id = RelAttribute(s, "id").value();
            for (pugi::xml_node r : Children(workbookRels.document_element(), "Relationship"))
                if (id == r.attribute("Id").value()) {
                    const std::string part = Resolve(workbookPart, r.attribute("Target").value());
                    pugi::xml_document doc;
                    if (!Parse(package, part, doc))
                        continue;
                    pugi::xml_node views = Child(doc.document_element(), "sheetViews");
                    bool selected = false;
                    for (pugi::xml_node v : Children(views, "sheetView"))
                        selected = selected || v.attribute("tabSelected").as_bool();
                    if (selected) {
                        SetSelected(doc.document_element(), false);
                        package.put(part, Serialize(doc));
                    }
                }
        }

        const std::string relId = FreeRelId(workbookRels.document_element());
        AddRelationship(workbookRels.document_element(), relId, kRelWorksheet,
                        RelativeTarget(workbookPart, targetPart));
        unsigned maxId = 0;
        for (pugi::xml_node s : sheetList)
            maxId = std::max(maxId, s.attribute("sheetId").as_uint());
        pugi::xml_node added = sheets.prepend_child((Prefix(first) + "sheet").c_str());
        added.append_attribute("name") = nameUtf8.constData();
        added.append_attribute("sheetId") = maxId + 1;
        const std::string prefix = RelPrefix(workbook);
        added.append_attribute((prefix + ":id").c_str()) = relId.c_str();

        // Sheet-local names move one place on; the first sheet's ones are copied for the new.
        std::vector<pugi::xml_node> copies;
        for (pugi::xml_node dn : Children(definedNames, "definedName")) {
            pugi::xml_attribute local = dn.attribute("localSheetId");
            if (!local)
                continue;
            const unsigned index = local.as_uint();
            local.set_value(index + 1);
            if (index == 0) {
                pugi::xml_node copy = definedNames.insert_copy_before(dn, dn);
                copy.attribute("localSheetId").set_value(0);
                const QString text = QString::fromUtf8(copy.text().get());
                copy.text().set(RenameInFormula(text, firstName, sheetName).toUtf8().constData());
            }
        }
        if (pugi::xml_node views = Child(book, "bookViews"))
            for (pugi::xml_node v : Children(views, "workbookView")) {
                v.remove_attribute("activeTab");
                v.remove_attribute("firstSheet");
            }
        types.override(targetPart, kCtWorksheet);
    }

    if (!jpeg.isEmpty())
        AddPicture(package, types, targetPart, targetSheet, targetRels, jpeg);
    package.put(targetPart, Serialize(targetSheet));
    if (targetRels.document_element().first_child())
        package.put(RelsPathOf(targetPart), Serialize(targetRels));

    // The calculation chain is rebuilt by office programs; a stale one makes them repair.
    for (pugi::xml_node r : Children(workbookRels.document_element(), "Relationship"))
        if (std::strcmp(r.attribute("Type").value(), kRelCalcChain) == 0) {
            const std::string part = Resolve(workbookPart, r.attribute("Target").value());
            package.remove(part);
            types.removeOverride(part);
            workbookRels.document_element().remove_child(r);
            break;
        }
    // The list of sheet titles in the application properties would be stale: dropped.
    pugi::xml_document app;
    if (Parse(package, "docProps/app.xml", app)) {
        pugi::xml_node root = app.document_element();
        for (const char* name : {"HeadingPairs", "TitlesOfParts"})
            while (pugi::xml_node n = Child(root, name))
                root.remove_child(n);
        package.put("docProps/app.xml", Serialize(app));
    }
    package.put(workbookPart, Serialize(workbook));
    package.put(workbookRelsPart, Serialize(workbookRels));
    package.put("[Content_Types].xml", Serialize(types.doc));
    return std::nullopt;
}

}  // namespace

std::optional<ReportNames> ReportNamesFromRecording(const QString& fileName)
{
    auto field = [&](qsizetype from) {
        if (fileName.size() <= from)
            return QString();
        const qsizetype dash = fileName.indexOf('-', from);
        return dash < 0 ? QString() : fileName.mid(from, dash - from);
    };
    const QString day = field(5);
    const QString sheet = field(12);
    if (day.isEmpty() || sheet.isEmpty())
        return std::nullopt;
    return ReportNames{"20" + day, sheet};
}

bool IsReportDay(const QString& day)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{8}$"));
    return digits.match(day).hasMatch() &&
           QDate::fromString(day, QStringLiteral("yyyyMMdd")).isValid();
}

QString ReportDayFor(const ReportNames& names, const std::vector<GpsSample>& gps)
{
    if (IsReportDay(names.day))
        return names.day;
    for (const GpsSample& g : gps) {
        const QDate date(g.localTime.year, g.localTime.month, g.localTime.day);
        if (g.localTime.year >= 2000 && date.isValid())
            return date.toString(QStringLiteral("yyyyMMdd"));
    }
    return {};
}

QString ReportWorkbookPath(const QString& folder, const QString& day)
{
    return QDir(folder).filePath("report_" + day + ".xlsx");
}

namespace {
// Reports into one folder take turns, also between processes (`ravir report` run in parallel):
// each reads the workbook the previous one wrote. The lock is held on the folder itself, so no
// lock file is left behind.
class FolderLock {
public:
    explicit FolderLock(const QString& folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};
}  // namespace

namespace {
ReportResult AddReportSheetUnguarded(const QString& folder, const QString& day,
                                     const QString& sheetName, const QByteArray& jpeg,
                                     const std::atomic<bool>* stop)
{
    ReportResult result;
    result.reportPath = ReportWorkbookPath(folder, day);
    auto stopped = [stop] { return stop && stop->load(); };
    const FolderLock lock(folder);
    QByteArray bytes;
    QFileInfo info(result.reportPath);
    if (info.exists()) {
        if (!info.isFile() || quint64(info.size()) > kMaxTotal) {
            result.status = info.isFile() ? ReportStatus::NotAWorkbook : ReportStatus::ReadFailed;
            result.message = QString("%1 is not a workbook file this program can read; it was "
                                     "left as it is").arg(result.reportPath);
            return result;
        }
        QFile file(result.reportPath);
        if (!file.open(QIODevice::ReadOnly)) {
            result.status = ReportStatus::ReadFailed;
            result.message = QString("%1 cannot be read: %2").arg(result.reportPath,
                                                                   file.errorString());
            return result;
        }
        bytes = file.readAll();
    } else {
        result.created = true;
        QString why;
        bytes = MakeReportTemplate(&why);
        if (bytes.isEmpty()) {
            result.status = ReportStatus::TemplateFailed;
            result.message = why;
            return result;
        }
    }

    Package package;
    QString why;
    if (!LoadPackage(bytes, package, why)) {
        result.status = ReportStatus::NotAWorkbook;
        result.message = QString("%1 is not a workbook this program can read (%2); it was left "
                                 "as it is").arg(result.reportPath, why);
        return result;
    }
    if (auto failure = EditWorkbook(package, result.created, sheetName, jpeg, result.sheetName)) {
        result.status = failure->status;
        result.message = QString("%1 is not a workbook this program can read (%2); it was left "
                                 "as it is").arg(result.reportPath, failure->message);
        return result;
    }
    QByteArray out;
    if (!SavePackage(package, out, why)) {
        result.status = ReportStatus::WriteFailed;
        result.message = why;
        return result;
    }
    SafeWriteOptions options;
    options.sync = true;
    options.keepMode = true;
    // Written and flushed under a temporary name; a stop asked for until the rename drops it.
    auto stoppedResult = [&] {
        result.status = ReportStatus::Stopped;
        result.message = "stopped; nothing was written";
        return result;
    };
    if (stopped())
        return stoppedResult();
    SafeWriter writer;
    const bool written = writer.open(result.reportPath, options) && writer.write(out) &&
                         writer.finish();
    if (stopped()) {
        writer.cancel();
        return stoppedResult();
    }
    // After a failed flush of the folder the new report is in place all the same.
    if (!written || (!writer.commit() && !writer.committed())) {
        result.status = ReportStatus::WriteFailed;
        result.message = QString("%1: %2; the previous report is unchanged")
                             .arg(result.reportPath, writer.error().message());
        return result;
    }
    result.status = ReportStatus::Saved;
    return result;
}
}  // namespace

ReportResult AddReportSheet(const QString& folder, const QString& day, const QString& sheetName,
                            const QByteArray& jpeg, const std::atomic<bool>* stop)
{
    try {
        return AddReportSheetUnguarded(folder, day, sheetName, jpeg, stop);
    } catch (const std::bad_alloc&) {
        // Whatever was being made is dropped (the safe writer removes its temporary file).
        ReportResult result;
        result.reportPath = ReportWorkbookPath(folder, day);
        result.status = ReportStatus::WriteFailed;
        result.message = QString("%1: not enough memory to add the report; the previous report "
                                 "is unchanged").arg(result.reportPath);
        return result;
    }
}

}  // namespace ravir
