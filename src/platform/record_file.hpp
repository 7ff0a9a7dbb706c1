#pragma once
// The file of the run record. Every line goes to the system in one write
// to the end of the file, so whatever was written survives the program's
// crash; a sync now and then bounds what a power loss can take.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cncsend {

using RecordFile = std::intptr_t;
constexpr RecordFile kNoRecordFile = -1;

// Opens the file for appending, creating it when missing.
RecordFile open_record_file(const std::string& path);
// All bytes at the end of the file, or false.
bool write_record_file(RecordFile file, const char* bytes, std::size_t count);
// Asks the system to put what was written on the disk.
bool sync_record_file(RecordFile file);
void close_record_file(RecordFile file);
// The system's words for the last open, write or sync that failed.
std::string record_file_failure();

// Until called again with kNoRecordFile, a signal that ends the process
// first appends "<time> end signal <number>" to the file. Where signals do
// not end the program through a handler of ours, this does nothing.
void note_end_signal_in(RecordFile file);

}  // namespace cncsend
