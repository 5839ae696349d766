// Reading the scan database's rows back, as the review needs them in
// more than one place.
#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Value.h"
#include "scan/Reader.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace scan::rows {

// A column's value as text, and as a number; "" and 0 for NULL.
[[nodiscard]] std::string Text(const db::Value& v);
[[nodiscard]] double Real(const db::Value& v);

// "q3 浅色标记; id2 考号不可读" -> its (label, words) pairs.
[[nodiscard]] std::vector<std::pair<std::string, std::string>>
ParseReasons(const std::string& text);

// Whether a page of that status was placed on its layout and read.
[[nodiscard]] bool Located(const std::string& status);

// Every item of every page as the scan kept it, with its bubbles.
struct AllItems {
    struct Item {
        std::string label, reading;
        int question = 0;
        std::vector<BubbleReading> bubbles;
        bool fieldOnly = false; // a template's field for the CSV only
    };
    std::map<std::size_t, std::vector<Item>> byPage; // in the reader's order
};
[[nodiscard]] AllItems LoadAll(db::Connection& c);

// The doubts' words as the scan keeps them, separated by spaces.
[[nodiscard]] std::string DoubtWords(const std::vector<Doubt>& doubts);

} // namespace scan::rows
