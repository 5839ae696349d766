#pragma once

namespace core {

// How a command ended: it did its work (also when it ends with a notice such
// as "no gaps"), or a check's message or a question answered the stopping
// way stopped it. Errors are exceptions, not outcomes. Each command returns
// this inside a result struct of its own that says what it did.
enum class Outcome { Done, Stopped };

} // namespace core
