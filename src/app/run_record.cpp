#include "app/run_record.hpp"

#include <chrono>
#include <cstdlib>
#include <limits>

#include "app/operator_messages.hpp"
#include "platform/process.hpp"
#include "platform/record_file.hpp"
#include "platform/utc_time.hpp"
#include "serial/serial_port.hpp"

namespace cncsend {

namespace {

using Clock = std::chrono::steady_clock;
// A sync per event would cost more processor time than the exchange
// itself; this often bounds what a power loss takes.
constexpr auto kSyncInterval = std::chrono::milliseconds(250);

struct Record {
    RecordFile file = kNoRecordFile;
    std::string name;
    bool write_failed = false;
    std::string write_failure;  // the first reason, reported at the end
    bool ended = false;
    std::int64_t job_line = 0;
    std::string sent;  // the text of the command or job line out
    std::string reply;
    Clock::time_point sent_at, replied_at, synced_at;
    std::string line;  // kept to spare an allocation per event
};

Record record;

bool active() {
    return record.file != kNoRecordFile;
}

bool plain_in_record(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F && c != '"' && c != '\\';
}

void append_quoted(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '"';
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at != end) {
        // A job line is mostly plain text: it goes in as one piece.
        const char* plain = at;
        while (plain != end && plain_in_record(*plain)) ++plain;
        out.append(at, static_cast<std::size_t>(plain - at));
        if (plain == end) break;
        at = plain + 1;
        const char c = *plain;
        const auto byte = static_cast<unsigned char>(c);
        out += '\\';
        switch (c) {
            case '\r':
                out += 'r';
                break;
            case '\n':
                out += 'n';
                break;
            case '\t':
                out += 't';
                break;
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += 'x';
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
        }
    }
    out += '"';
}

// Starts record.line with the time stamp; the caller adds the event. The
// calendar part is worked out again only when the second changes.
std::string& begin_event() {
    static std::int64_t stamp_second = std::numeric_limits<std::int64_t>::min();
    static char stamp[kUtcTimeLength];
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    const std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != stamp_second) {
        stamp_second = second;
        format_utc_time(ms, stamp);
    }
    const auto milli = static_cast<int>(ms - second * 1000);
    stamp[20] = static_cast<char>('0' + milli / 100);
    stamp[21] = static_cast<char>('0' + milli / 10 % 10);
    stamp[22] = static_cast<char>('0' + milli % 10);
    record.line.assign(stamp, kUtcTimeLength);
    record.line += ' ';
    return record.line;
}

void note_failure() {
    if (record.write_failed) return;
    record.write_failed = true;
    record.write_failure = record_file_failure();
}

void end_event(bool sync_now = false) {
    record.line += '\n';
    if (!write_record_file(record.file, record.line.data(), record.line.size())) {
        note_failure();
        return;
    }
    const Clock::time_point now = Clock::now();
    if (sync_now || now - record.synced_at >= kSyncInterval) {
        record.synced_at = now;
        if (!sync_record_file(record.file)) note_failure();
    }
}

void append_ms(std::string& out, Clock::duration elapsed) {
    const auto tenths =
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() / 100;
    out += std::to_string(tenths / 10);
    out += '.';
    out += static_cast<char>('0' + tenths % 10);
    out += " ms";
}

void append_where(std::string& out) {
    if (record.job_line > 0) {
        out += "at line ";
        out += std::to_string(record.job_line);
    } else {
        out += "at command ";
        append_quoted(out, record.sent);
    }
}

void write_end(const char* how, bool with_where) {
    if (!active() || record.ended) return;
    record.ended = true;
    note_end_signal_in(kNoRecordFile);
    std::string& line = begin_event();
    line += "end ";
    line += how;
    if (with_where) {
        line += ' ';
        append_where(line);
    }
    end_event(true);
}

// At exit: the one report of a record that could not be written in full.
void finish_record() {
    if (!active()) return;
    note_end_signal_in(kNoRecordFile);
    sync_record_file(record.file);
    close_record_file(record.file);
    record.file = kNoRecordFile;
    if (record.write_failed) report_record_write_failure(record.name, record.write_failure);
}

}  // namespace

std::string quoted_record_text(const std::string& text) {
    std::string out;
    append_quoted(out, text);
    return out;
}

void open_run_record(const std::string& job_name, std::int64_t job_size,
                     const std::string& port_options, std::int32_t factor_x, std::int32_t factor_y,
                     std::int32_t factor_z) {
    const char* name = std::getenv("CNCSEND_LOG");
    if (name == nullptr || *name == '\0') return;
    record.file = open_record_file(name);
    if (record.file == kNoRecordFile) fail_record_not_open(name, record_file_failure());
    record.name = name;
    std::atexit(finish_record);
    note_end_signal_in(record.file);

    const SerialOpenFailure port = describe_serial_open_failure(port_options);
    std::string& line = begin_event();
    line += "start program ";
    append_quoted(line, process_ops().executable_path());
    line += " job ";
    append_quoted(line, job_name);
    line += ' ';
    line += std::to_string(job_size < 0 ? 0 : job_size);
    line += " bytes port " + port.port + " device ";
    append_quoted(line, port.device);
    line += " factors " + std::to_string(factor_x) + ',' + std::to_string(factor_y) + ',' +
            std::to_string(factor_z);
    end_event(true);
}

void record_answers(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t speed) {
    if (!active()) return;
    std::string& line = begin_event();
    line += "answers x " + std::to_string(x) + " y " + std::to_string(y) + " z " +
            std::to_string(z) + " speed " + std::to_string(speed);
    end_event();
}

void record_send(std::int64_t job_line, const std::string& text) {
    if (!active()) return;
    record.job_line = job_line;
    record.sent = text;
    record.sent_at = Clock::now();
}

void record_reply(const std::string& reply) {
    if (!active()) return;
    record.replied_at = Clock::now();
    record.reply = reply;
    std::string& line = begin_event();
    if (record.job_line > 0) {
        line += "line ";
        line += std::to_string(record.job_line);
        line += ' ';
    } else {
        line += "command ";
    }
    append_quoted(line, record.sent);
    line += " reply ";
    append_quoted(line, reply);
    line += ' ';
    append_ms(line, record.replied_at - record.sent_at);
    end_event();
}

void record_pause_end() {
    if (!active()) return;
    std::string& line = begin_event();
    line += "pause ";
    append_where(line);
    line += " reply ";
    append_quoted(line, record.reply);
    line += " enter after ";
    append_ms(line, Clock::now() - record.replied_at);
    end_event(true);
}

void record_end_normal() {
    write_end("normal", false);
}

void record_end_escape() {
    write_end("escape", true);
}

void record_end_lost() {
    write_end("lost line", true);
}

void record_end_message(const std::string& text) {
    if (!active() || record.ended) return;
    write_end(("message " + quoted_record_text(text)).c_str(), false);
}

}  // namespace cncsend
