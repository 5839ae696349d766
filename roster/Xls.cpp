#include "roster/CellText.h"
#include "roster/Error.h"
#include "roster/Readers.h"

#include "platform/text/Gbk.h"

#include <freexl.h>

#include <algorithm>
#include <new>

namespace roster {
namespace {

std::string FreexlProblem(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return "文件不存在";
    case FREEXL_INSUFFICIENT_MEMORY:
        return "内存不足";
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return "不是 Excel 97-2003 工作簿（.xls）";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return "文件中没有工作簿";
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
    case FREEXL_CRAFTED_FILE:
        return "工作簿已损坏";
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
        return "工作簿的文字编码无法识别";
    default:
        return "无法读取工作簿（freexl 错误 " + std::to_string(code) + "）";
    }
}

// The largest sheet of the format (BIFF8).
constexpr unsigned int kMaxRows = 65536;
constexpr unsigned short kMaxColumns = 256;

// An open .xls workbook, closed with its owner.
class XlsBook {
  public:
    explicit XlsBook(const std::filesystem::path& file) : mFile(file) {
        const int rc = freexl_open(file.c_str(), &mHandle);
        if (rc != FREEXL_OK) {
            // The handle must be closed even when opening failed.
            freexl_close(mHandle);
            mHandle = nullptr;
            if (rc == FREEXL_INSUFFICIENT_MEMORY)
                throw std::bad_alloc(); // a declared size no memory holds: damaged or too large
            throw Error(ListProblem(file, FreexlProblem(rc)));
        }
    }
    ~XlsBook() {
        if (mHandle)
            freexl_close(mHandle);
    }
    XlsBook(const XlsBook&) = delete;
    XlsBook& operator=(const XlsBook&) = delete;

    [[nodiscard]] std::vector<std::string> sheetNames() const {
        unsigned int count = 0;
        check(freexl_get_info(mHandle, FREEXL_BIFF_SHEET_COUNT, &count));
        std::vector<std::string> names;
        for (unsigned int i = 0; i < count && i < 65535; ++i) {
            const char* name = nullptr;
            check(freexl_get_worksheet_name(mHandle, static_cast<unsigned short>(i), &name));
            names.emplace_back(name ? name : "");
        }
        return names;
    }

    // The cells that hold something. The dimensions the sheet declares are
    // not trusted beyond what the format allows, and no row is made before
    // a cell is found in it.
    [[nodiscard]] CellRows rows(unsigned short sheet) const {
        check(freexl_select_active_worksheet(mHandle, sheet));
        unsigned int rowCount = 0;
        unsigned short columnCount = 0;
        check(freexl_worksheet_dimensions(mHandle, &rowCount, &columnCount));
        rowCount = std::min(rowCount, kMaxRows);
        columnCount = std::min(columnCount, kMaxColumns);
        CellRows rows;
        for (unsigned int r = 0; r < rowCount; ++r) {
            for (unsigned short c = 0; c < columnCount; ++c) {
                std::string text = cell(r, c);
                if (text.empty())
                    continue;
                if (rows.size() <= r)
                    rows.resize(r + std::size_t{1});
                rows[r].push_back({c, std::move(text)});
            }
        }
        return rows;
    }

  private:
    [[nodiscard]] std::string cell(unsigned int r, unsigned short c) const {
        FreeXL_CellValue v;
        check(freexl_get_cell_value(mHandle, r, c, &v));
        switch (v.type) {
        case FREEXL_CELL_INT:
            return std::to_string(v.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return FormatNumber(v.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return v.value.text_value ? v.value.text_value : "";
        default:
            return {};
        }
    }

    void check(int rc) const {
        if (rc == FREEXL_INSUFFICIENT_MEMORY)
            throw std::bad_alloc();
        if (rc != FREEXL_OK)
            throw Error(ListProblem(mFile, FreexlProblem(rc)));
    }

    std::filesystem::path mFile;
    const void* mHandle = nullptr;
};

} // namespace

std::vector<std::string> XlsSheetNames(const std::filesystem::path& file) {
    return XlsBook(file).sheetNames();
}

CellRows ReadXls(const std::filesystem::path& file, const std::optional<std::string>& sheet) {
    XlsBook book(file);
    const std::vector<std::string> names = book.sheetNames();
    if (names.empty())
        throw Error(ListProblem(file, "工作簿中没有工作表"));
    if (!sheet)
        return book.rows(0);
    for (std::size_t pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < names.size(); ++i)
            if (pass == 0 ? names[i] == *sheet : text::EqualNoCase(names[i], *sheet))
                return book.rows(static_cast<unsigned short>(i));
    std::string list;
    for (const auto& n : names)
        list += (list.empty() ? "" : "、") + n;
    throw Error(ListProblem(file, "没有名为“" + *sheet + "”的工作表（工作表有: " + list + "）"));
}

} // namespace roster
