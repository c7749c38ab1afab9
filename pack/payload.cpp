#include "pack/payload.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <deque>
#include <fstream>

#include "foundation/format/setup_data.h"
#include "foundation/text_convert.h"
#include "pack/chunk_compressor.h"
#include "pack/source_date_epoch.h"

namespace halberd::pack {

namespace fs = std::filesystem;
using format::Bytes;


// A time later than SOURCE_DATE_EPOCH is recorded as SOURCE_DATE_EPOCH (as tar --clamp-mtime does),
// so that copies of the same files made at different times pack to the same installer.
std::array<int32_t, 6> FileModificationTime(const fs::path& p) {
  std::error_code ec;
  auto t = fs::last_write_time(p, ec);
  if (ec) return {0, 0, 0, -1, 0, 0};
  auto sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(fs::file_time_type::clock::to_sys(t));
  std::time_t tt = std::chrono::system_clock::to_time_t(sys);
  if (auto epoch = SourceDateEpoch(); epoch && int64_t(tt) > *epoch) tt = std::time_t(*epoch);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &tt);
#else
  gmtime_r(&tt, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

std::u16string WindowsFolder(const fs::path& relative_parent) {
  auto u8 = relative_parent.generic_u8string();
  std::string s(u8.begin(), u8.end());
  std::replace(s.begin(), s.end(), '/', '\\');
  return Utf8ToUtf16(s + "\\");
}
}  // namespace

bool CollectFiles(const fs::path& root, std::vector<PackedFile>& files, std::string& error) {
  files.clear();
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    error = "\"" + root.string() + "\" is not a folder";
    return false;
  }
  std::vector<fs::path> found;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) found.push_back(it->path());
  }
  if (ec) {
    error = "cannot list \"" + root.string() + "\": " + ec.message();
    return false;
  }
  std::sort(found.begin(), found.end(), [&](const fs::path& a, const fs::path& b) {
    return a.lexically_relative(root).generic_u8string() < b.lexically_relative(root).generic_u8string();
  });
  for (const fs::path& p : found) {
    uintmax_t size = fs::file_size(p, ec);
    if (ec) {
      error = "cannot read \"" + p.string() + "\": " + ec.message();
      return false;
    }
    if (size > uintmax_t(format::kMaxFileSize)) {
      error = "\"" + p.string() + "\" is larger than an installer can carry (1,932,735,283 bytes)";
      return false;
    }
    fs::path rel = p.lexically_relative(root);
    PackedFile f;
    f.source = p;
    auto name = rel.filename().u8string();
    f.entry.name = format::EncodeEntryName(std::string(name.begin(), name.end()));
    f.entry.target_folder = rel.has_parent_path() ? WindowsFolder(rel.parent_path()) : std::u16string();
    f.entry.size = int32_t(size);
    f.entry.time = FileModificationTime(p);
    files.push_back(std::move(f));
  }
  return true;
}

bool BuildArchive(const std::vector<PackedFile>& files, const ArchiveOptions& o, Archive& a, std::string& error) {
  a = Archive{};
  ChunkCompressor compressor(o, a.bytes, o.threads);
  Bytes pending;
  pending.reserve(o.chunk_size);
  // The pending bytes as runs of {length, from a PE image}, so each chunk knows its share of code.
  std::deque<std::pair<size_t, bool>> runs;
  auto add = [&](const uint8_t* p, size_t n, bool machine_code) {
    pending.insert(pending.end(), p, p + n);
    if (!runs.empty() && runs.back().second == machine_code)
      runs.back().first += n;
    else
      runs.emplace_back(n, machine_code);
  };
  auto flush = [&](bool force) {
    while (pending.size() >= o.chunk_size || (force && !pending.empty())) {
      size_t n = std::min<size_t>(pending.size(), o.chunk_size);
      ChunkContent chunk;
      chunk.unpacked.assign(pending.begin(), pending.begin() + n);
      pending.erase(pending.begin(), pending.begin() + n);
      for (size_t left = n; left > 0;) {
        size_t take = std::min(left, runs.front().first);
        if (runs.front().second) chunk.machine_code_bytes += take;
        left -= take;
        if ((runs.front().first -= take) == 0) runs.pop_front();
      }
      compressor.Add(std::move(chunk));
      ++a.chunk_count;
    }
  };
  std::vector<uint8_t> buffer(1 << 20);
  for (const PackedFile& f : files) {
    format::ByteWriter head;
    format::WriteFileEntryHead(f.entry, head);
    add(head.bytes().data(), head.size(), false);
    a.stream_size += head.size();
    std::ifstream in(f.source, std::ios::binary);
    if (!in) {
      error = "cannot open \"" + f.source.string() + "\"";
      return false;
    }
    int64_t left = f.entry.size;
    bool machine_code = false;
    bool first = true;
    while (left > 0) {
      size_t want = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
      in.read(reinterpret_cast<char*>(buffer.data()), std::streamsize(want));
      if (size_t(in.gcount()) != want) {
        error = "\"" + f.source.string() + "\" changed while it was packed (shorter than its size)";
        return false;
      }
      if (first) machine_code = want >= 2 && buffer[0] == 'M' && buffer[1] == 'Z';
      first = false;
      add(buffer.data(), want, machine_code);
      left -= int64_t(want);
      flush(false);
    }
    a.file_sizes.push_back(f.entry.size);
    a.stream_size += uint64_t(f.entry.size);
    flush(false);
  }
  flush(true);
  compressor.Finish();
  return true;
}

}  // namespace halberd::pack
