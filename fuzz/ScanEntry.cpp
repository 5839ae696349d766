#include "fuzz/Entries.h"
#include "fuzz/Scratch.h"

#include "scan/Reader.h"
#include "scan/SheetDesign.h"

#include <fstream>
#include <stdexcept>

namespace fuzzing {

// Every page of the file decoded, and read when its picture is small
// enough to read in a moment; a page that cannot be had says why.
int ReadScanInput(const std::uint8_t* data, std::size_t size) {
    const auto file = ScratchFolder() / "page.bin";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out.flush())
            throw std::runtime_error("cannot write " + file.string());
    }
    static const scan::LayoutSet layouts({scan::DesignSheet(scan::SheetSettings{5})});
    scan::PageInput input(file);
    for (int pages = 0; pages < 16; ++pages) {
        auto page = input.next();
        if (!page)
            break;
        if (!page->problem.empty())
            continue;
        std::string problem;
        const cv::Mat grey = page->grey.empty() ? scan::DecodePage(*page, problem) : page->grey;
        if (grey.empty() != !problem.empty() && page->grey.empty())
            throw std::logic_error("a page neither decoded nor said why");
        if (!grey.empty() && grey.total() <= 1000u * 1000u)
            (void)scan::ReadPage(grey, page->source, layouts);
    }
    return 0;
}

} // namespace fuzzing
