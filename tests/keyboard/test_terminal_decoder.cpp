#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/keyboard.hpp"
#include "platform/terminal_key_decoder.hpp"
#include "scripted_keys.hpp"

namespace cncsend {
namespace {

// The key codes the decoded events give, as poll_key would hand them over,
// one code per key: "ESC" for 27, "x3B" for the extended key 3B.
std::string codes_of(const std::vector<KeyEvent>& events) {
    std::string text;
    for (const KeyEvent& event : events) {
        const std::int32_t code = translate_key(event);
        char item[16];
        if (code == kNoKey)
            std::snprintf(item, sizeof item, "none");
        else if (code > 255)
            std::snprintf(item, sizeof item, "x%02X", (code >> 8) & 0xFF);
        else if (code == 27)
            std::snprintf(item, sizeof item, "ESC");
        else if (code < 32 || code > 126)
            std::snprintf(item, sizeof item, "%d", code);
        else
            std::snprintf(item, sizeof item, "%c", static_cast<char>(code));
        if (!text.empty()) text += ' ';
        text += item;
    }
    return text;
}

// Feeds the reads one after another, then lets the input pause.
std::string decode(std::initializer_list<std::string> reads, bool utf8 = true) {
    TerminalKeyDecoder decoder = make_terminal_key_decoder(utf8);
    std::vector<KeyEvent> events;
    for (const std::string& bytes : reads)
        decode_terminal_bytes(decoder, reinterpret_cast<const unsigned char*>(bytes.data()),
                              bytes.size(), events);
    flush_terminal_decoder(decoder, events);
    EXPECT_FALSE(terminal_decoder_pending(decoder));
    return codes_of(events);
}

struct DecodeCase {
    const char* bytes;
    const char* codes;
};

TEST(TerminalKeyDecoder, BytesAndSequencesGiveTheKeysOfTheConsole) {
    test::ScriptedKeyboard keyboard;  // US layout for translate_key
    const DecodeCase cases[] = {
        {"a1 Z~", "a 1   Z ~"},
        {"\r", "13"},
        {"\n", "10"},
        {"\x7f", "8"},
        {"\b", "8"},
        {"\t", "9"},
        {"\x01", "1"},
        {"\x1b", "ESC"},
        {"\x1b[A\x1b[B\x1b[C\x1b[D", "x48 x50 x4D x4B"},
        {"\x1bOA\x1bOD", "x48 x4B"},
        {"\x1b[H\x1b[F\x1bOH\x1bOF", "x47 x4F x47 x4F"},
        {"\x1b[1~\x1b[4~\x1b[7~\x1b[8~", "x47 x4F x47 x4F"},
        {"\x1b[2~\x1b[3~\x1b[5~\x1b[6~", "x52 x53 x49 x51"},
        {"\x1bOP\x1bOQ\x1bOR\x1bOS", "x3B x3C x3D x3E"},
        {"\x1b[11~\x1b[15~\x1b[17~\x1b[21~\x1b[23~\x1b[24~", "x3B x3F x40 x44 x85 x86"},
        {"\x1b[[A\x1b[[E", "x3B x3F"},
        {"\x1b[1;2P\x1b[15;2~\x1b[24;5~\x1b[17;3~", "x54 x58 x8A x6D"},
        {"\x1b[1;5A\x1b[1;5D\x1b[3;5~\x1b[1;3C", "x8D x73 x93 x9D"},
        {"\x1b[Z", "x0F"},
        {"\x1bOM", "13"},
        {"\x1b"
         "a\x1b"
         "1\x1b\r\x1b\x7f",
         "x1E x78 x1C xE0"},
        {"\x1b\x1b[A", "ESC x48"},
        {"\x1b[", "x1A"},
        {"\x1bO", "x18"},
        {"\x1b[12;40R\x1b[?1;2c\x1b[200~", ""},  // reports and unknown sequences
        {"\x1b[1;2", ""},                        // unfinished at the pause
        {"\x1b[1\x03x", "3 x"},                  // a control byte breaks a sequence
        {"\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f", "132 148 129 225"},
        {"\xe2\x94\x80\xe2\x82\xac", "196"},  // box line; the euro sign has no byte
        {"\xc3(\xff\xc0\xaf", "("},           // broken UTF-8 is dropped
        {"\x1b\xc3\xa4", "ESC 132"},
    };
    for (const DecodeCase& c : cases) EXPECT_EQ(decode({c.bytes}), c.codes) << c.bytes;
}

TEST(TerminalKeyDecoder, SequencesSplitAcrossReadsAndALoneEscape) {
    test::ScriptedKeyboard keyboard;
    EXPECT_EQ(decode({"\x1b", "[", "1;5", "A"}), "x8D");
    EXPECT_EQ(decode({"\x1b", "OP"}), "x3B");
    EXPECT_EQ(decode({"\xc3", "\xa4"}), "132");

    // A lone ESC stays pending until the pause; the next key is separate.
    TerminalKeyDecoder decoder = make_terminal_key_decoder(true);
    std::vector<KeyEvent> events;
    decode_terminal_bytes(decoder, reinterpret_cast<const unsigned char*>("x\x1b"), 2, events);
    EXPECT_EQ(codes_of(events), "x");
    EXPECT_TRUE(terminal_decoder_pending(decoder));
    flush_terminal_decoder(decoder, events);
    decode_terminal_bytes(decoder, reinterpret_cast<const unsigned char*>("1"), 1, events);
    EXPECT_EQ(codes_of(events), "x ESC 1");
}

TEST(TerminalKeyDecoder, WithoutUtf8BytesAreCodePage437) {
    test::ScriptedKeyboard keyboard;
    EXPECT_EQ(decode({"\x84\x94"}, false), "132 148");
}

}  // namespace
}  // namespace cncsend
