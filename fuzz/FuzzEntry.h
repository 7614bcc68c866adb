#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

// The part every libFuzzer entry shares: one application on the offscreen
// platform, a private folder for the readers' files, and the rule that no
// single allocation grows beyond what the input's size allows.
namespace FuzzEntry {

using Check = QString (*)(QByteArrayView input);

// Runs the check on one input; aborts (which the fuzzer records as a crash
// with its input) when the check fails or an allocation is too large.
int run(const uint8_t *data, size_t size, Check check);

} // namespace FuzzEntry
