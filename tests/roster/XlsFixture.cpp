#include "tests/roster/XlsFixture.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

void Put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Set32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// UTF-8 to UTF-16LE code units (the tests use the Basic Multilingual Plane only).
std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xE0) {
            cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else if (c >= 0xC0) {
            cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        }
        out += static_cast<char16_t>(cp);
        i += n;
    }
    return out;
}

void Record(std::string& out, std::uint16_t type, const std::string& body) {
    Put16(out, type);
    Put16(out, static_cast<std::uint16_t>(body.size()));
    out += body;
}

// Characters as UTF-16LE after a flags byte of 1.
std::string WideChars(const std::u16string& w) {
    std::string s(1, '\x01');
    for (char16_t c : w)
        Put16(s, static_cast<std::uint16_t>(c));
    return s;
}

std::string Bof(std::uint16_t kind) {
    std::string b;
    Put16(b, 0x0600);
    Put16(b, kind);
    Put16(b, 0x0DBB);
    Put16(b, 0x07CC);
    Put32(b, 0);
    Put32(b, 0x06);
    return b;
}

std::string CellHead(std::size_t row, std::size_t col) {
    std::string b;
    Put16(b, static_cast<std::uint16_t>(row));
    Put16(b, static_cast<std::uint16_t>(col));
    Put16(b, 0); // XF
    return b;
}

std::string SheetStream(const XlsSheet& sheet, std::vector<std::string>& strings) {
    std::string out;
    Record(out, 0x0809, Bof(0x0010));
    std::size_t columns = 0;
    for (const auto& row : sheet.rows)
        columns = std::max(columns, row.size());
    std::string dim;
    Put32(dim, 0);
    Put32(dim, static_cast<std::uint32_t>(sheet.rows.size()));
    Put16(dim, 0);
    Put16(dim, static_cast<std::uint16_t>(columns));
    Put16(dim, 0);
    Record(out, 0x0200, dim);
    for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
        for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
            const XlsCell& cell = sheet.rows[r][c];
            std::string body = CellHead(r, c);
            if (const auto* s = std::get_if<std::string>(&cell)) {
                Put32(body, static_cast<std::uint32_t>(strings.size()));
                strings.push_back(*s);
                Record(out, 0x00FD, body);
            } else if (const auto* d = std::get_if<double>(&cell)) {
                char bytes[8];
                std::memcpy(bytes, d, 8);
                body.append(bytes, 8);
                Record(out, 0x0203, body);
            } else if (const auto* k = std::get_if<RkInt>(&cell)) {
                Put32(body, (static_cast<std::uint32_t>(k->value) << 2) | 0x02);
                Record(out, 0x027E, body);
            }
        }
    }
    Record(out, 0x000A, "");
    return out;
}

// The workbook stream: globals, then the sheets, padded past 4096 bytes
// with records that carry nothing a reader needs.
std::string WorkbookStream(const std::vector<XlsSheet>& sheets) {
    std::vector<std::string> strings;
    std::vector<std::string> bodies;
    for (const XlsSheet& s : sheets)
        bodies.push_back(SheetStream(s, strings));

    std::string g;
    Record(g, 0x0809, Bof(0x0005));
    std::string codepage;
    Put16(codepage, 1200);
    Record(g, 0x0042, codepage);
    Record(g, 0x00E1, std::string(2, '\0')); // INTERFACEHDR
    while (g.size() < 4200)
        Record(g, 0x00E2, std::string());     // INTERFACEEND: padding
    Record(g, 0x00E0, std::string(20, '\0')); // one XF, General
    std::vector<std::size_t> offsetAt;
    for (const XlsSheet& s : sheets) {
        const std::u16string name = Utf16(s.name);
        std::string b;
        offsetAt.push_back(g.size() + 4);
        Put32(b, 0);
        Put16(b, 0);
        b += static_cast<char>(name.size());
        b += WideChars(name);
        Record(g, 0x0085, b);
    }
    std::string sst;
    Put32(sst, static_cast<std::uint32_t>(strings.size()));
    Put32(sst, static_cast<std::uint32_t>(strings.size()));
    for (const auto& s : strings) {
        const std::u16string w = Utf16(s);
        Put16(sst, static_cast<std::uint16_t>(w.size()));
        sst += WideChars(w);
    }
    if (sst.size() > 8224)
        throw std::runtime_error("test workbook: shared strings need a CONTINUE record");
    Record(g, 0x00FC, sst);
    Record(g, 0x000A, "");
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        Set32(g, offsetAt[i], static_cast<std::uint32_t>(g.size()));
        g += bodies[i];
    }
    return g;
}

std::string DirectoryEntry(const std::string& name, char type, std::uint32_t child,
                           std::uint32_t start, std::uint32_t size) {
    std::string e;
    const std::u16string w = Utf16(name);
    for (char16_t c : w)
        Put16(e, static_cast<std::uint16_t>(c));
    e.resize(64, '\0');
    Put16(e, static_cast<std::uint16_t>(name.empty() ? 0 : (w.size() + 1) * 2));
    e += type;
    e += '\x01'; // black
    Put32(e, 0xFFFFFFFF);
    Put32(e, 0xFFFFFFFF);
    Put32(e, child);
    e.resize(e.size() + 16 + 4 + 16, '\0'); // CLSID, state, times
    Put32(e, start);
    Put32(e, size);
    Put32(e, 0);
    return e;
}

} // namespace

void WriteXls(const std::filesystem::path& file, const std::vector<XlsSheet>& sheets) {
    std::string stream = WorkbookStream(sheets);
    const std::uint32_t size = static_cast<std::uint32_t>(stream.size());
    stream.resize((stream.size() + 511) / 512 * 512, '\0');
    const std::uint32_t streamSectors = static_cast<std::uint32_t>(stream.size() / 512);
    if (2 + streamSectors > 128)
        throw std::runtime_error("test workbook too large for one FAT sector");

    std::string header;
    header += std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.resize(24, '\0');
    Put16(header, 0x003E);
    Put16(header, 0x0003);
    Put16(header, 0xFFFE);
    Put16(header, 9);
    Put16(header, 6);
    header.resize(40, '\0');
    Put32(header, 0);          // directory sectors
    Put32(header, 1);          // FAT sectors
    Put32(header, 1);          // first directory sector
    Put32(header, 0);          // transaction
    Put32(header, 4096);       // mini stream cutoff
    Put32(header, 0xFFFFFFFE); // no mini FAT
    Put32(header, 0);
    Put32(header, 0xFFFFFFFE); // no DIFAT sectors
    Put32(header, 0);
    Put32(header, 0); // the FAT is sector 0
    while (header.size() < 512)
        Put32(header, 0xFFFFFFFF);

    std::string fat;
    Put32(fat, 0xFFFFFFFD); // sector 0: the FAT
    Put32(fat, 0xFFFFFFFE); // sector 1: the directory
    for (std::uint32_t s = 0; s < streamSectors; ++s)
        Put32(fat, s + 1 == streamSectors ? 0xFFFFFFFE : 2 + s + 1);
    while (fat.size() < 512)
        Put32(fat, 0xFFFFFFFF);

    std::string dir = DirectoryEntry("Root Entry", 5, 1, 0xFFFFFFFE, 0);
    dir += DirectoryEntry("Workbook", 2, 0xFFFFFFFF, 2, size);
    while (dir.size() < 512)
        dir += DirectoryEntry("", 0, 0xFFFFFFFF, 0, 0);

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << header << fat << dir << stream;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace testsupport
