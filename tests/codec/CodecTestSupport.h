// SPDX-License-Identifier: GPL-3.0-or-later
// Message texts in memory sources, and decoding into a string.
#pragma once

#include <memory>
#include <string>

#include "CUT_CodecBase.h"
#include "CUT_MemorySource.h"

// A source that owns its copy of the text (which may hold any bytes).
class TextSource {
public:
    explicit TextSource(const std::string &text, int capacity = 0)
        : source_(nullptr, capacity > 0 ? capacity : static_cast<int>(text.size()) + 1) {
        source_.Open(OpenMode::Write);
        source_.Write(text.data(), static_cast<int>(text.size()));
        source_.Close();
    }
    CUT_MemorySource &operator*() { return source_; }
    CUT_MemorySource *operator->() { return &source_; }

private:
    CUT_MemorySource source_;
};

inline std::string Contents(CUT_MemorySource &sink) {
    return std::string(sink.Data(), static_cast<size_t>(sink.Length()));
}

// Runs `decode` into a fresh sink and returns its result and text.
template <typename Decode>
std::string DecodeInto(Decode decode, int *result, int capacity = 40000) {
    CUT_MemorySource sink(nullptr, capacity);
    *result = decode(sink);
    sink.Open(OpenMode::Read);
    return std::string(sink.Data(), static_cast<size_t>(sink.Length()));
}

// A codec that has parsed a message text, with its text and parts decoded
// into strings.
template <typename Codec>
struct ParsedMessage {
    Codec codec;
    int result = -9;
    explicit ParsedMessage(const std::string &text) : source_(text) {
        result = codec.ParseMessage(*source_);
    }
    std::string Text(int *rc) {
        return DecodeInto([&](CUT_MemorySource &sink) { return codec.ExtractText(sink, 0); }, rc);
    }
    std::string Decode(int index, int *rc) {
        return DecodeInto(
            [&](CUT_MemorySource &sink) { return codec.DecodeAttachment(index, sink, 0); }, rc);
    }

private:
    TextSource source_;
};
