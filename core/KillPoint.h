#pragma once

// A seam for the tests of what a killed program leaves behind. When the
// environment variable QUILLORY_KILL_AT holds `point`, the process ends
// itself there with SIGKILL, as `kill -9` or a power cut would end it: no
// destructor, no rollback, no file written after that point. Nothing sets
// the variable but those tests; unset, the call only reads the environment.
//
// The points: "correction-before-commit" and "correction-after-commit" (an
// exam-number correction or its undo, around the commit that makes it),
// "rekey-after-commit" (a key correction, between its commit and the
// statistics file and key history).
namespace core {

void KillPoint(const char* point);

} // namespace core
