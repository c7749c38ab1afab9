// Helpers shared by the Windows tests: the system's temporary folder, removing a test's folder
// tree, and reading what the loopback HTTP test server recorded. None of them is code under test.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace halberd::test {

// The system's temporary folder, without a trailing backslash.
inline std::wstring SystemTempPath() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path(buffer, n);
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// Whether the registry keeps the access list a key is made with. Windows does; Wine reads every
// key back with its own fixed default, so a test of a key's access list has nothing to look at.
inline bool RegistryKeepsKeyAccessLists() {
  static const bool keeps = [] {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KA;;;SY)(A;;KR;;;WD)", SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr))
      return false;
    const wchar_t* probe = L"Software\\HalberdTestAccessProbe";
    HKEY key = nullptr;
    bool kept = false;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, probe, 0, nullptr, 0, KEY_ALL_ACCESS, &attributes, &key, nullptr) ==
        ERROR_SUCCESS) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      PACL dacl = nullptr;
      wchar_t* text = nullptr;
      if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) == ERROR_SUCCESS) {
        if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                 &text, nullptr)) {
          kept = std::wstring(text).find(L";;;WD)") != std::wstring::npos;  // the world entry given above
          LocalFree(text);
        }
        LocalFree(descriptor);
      }
      RegCloseKey(key);
      RegDeleteKeyW(HKEY_CURRENT_USER, probe);
    }
    LocalFree(attributes.lpSecurityDescriptor);
    return kept;
  }();
  return keeps;
}

// Whether the file system keeps an access list set on a file of `folder`. Windows does; Wine
// shows what the Unix permission bits allow, whatever was set.
inline bool FileSystemKeepsAccessLists(const std::wstring& folder) {
  std::wstring probe = folder + L"\\access-probe.tmp";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  bool kept = false;
  PSECURITY_DESCRIPTOR wanted = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)", SDDL_REVISION_1,
                                                           &wanted, nullptr)) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(wanted, &present, &dacl, &defaulted);
    if (SetNamedSecurityInfoW(probe.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS) {
      PSECURITY_DESCRIPTOR read = nullptr;
      PACL read_dacl = nullptr;
      if (GetNamedSecurityInfoW(probe.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &read_dacl,
                                nullptr, &read) == ERROR_SUCCESS) {
        wchar_t* text = nullptr;
        if (ConvertSecurityDescriptorToStringSecurityDescriptorW(read, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                                 nullptr)) {
          kept = std::wstring(text).find(L";;;BU)") != std::wstring::npos;
          LocalFree(text);
        }
        LocalFree(read);
      }
    }
    LocalFree(wanted);
  }
  DeleteFileW(probe.c_str());
  return kept;
}

// Deletes a folder and everything in it, whatever the attributes.
inline void DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(folder.c_str());
}

// The whole content of a file, or "<missing>" when it cannot be opened.
inline std::string GetFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The raw answer of a plain HTTP/1.0 GET to 127.0.0.1, read until the server closes.
inline std::string RawGet(int port, const std::string& path) {
  std::string answer;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return answer;
  DWORD timeout = 10000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(u_short(port));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
    send(s, request.data(), int(request.size()), 0);
    char block[4096];
    for (int n; (n = recv(s, block, sizeof block, 0)) > 0;) answer.append(block, size_t(n));
  }
  closesocket(s);
  return answer;
}

// The raw requests the loopback test server recorded under `id`, in order; an empty list (and
// `ok` false) when the server gave no log.
inline std::vector<std::string> RecordedRequests(int port, const std::string& id, bool& ok) {
  std::vector<std::string> requests;
  const std::string answer = RawGet(port, "/_log/" + id);
  size_t at = answer.find("\r\n\r\n");
  ok = answer.rfind("HTTP/1.0 200", 0) == 0 && at != std::string::npos;
  if (!ok) return requests;
  at += 4;
  while (at < answer.size()) {
    size_t line_end = answer.find("\r\n", at);
    if (line_end == std::string::npos) break;
    size_t length = std::stoul(answer.substr(at, line_end - at));
    requests.push_back(answer.substr(line_end + 2, length));
    at = line_end + 2 + length + 2;
  }
  return requests;
}

// A test that talks to the loopback HTTP test server, whose port run_all.sh gives in
// HALBERD_HTTP_TEST_PORT. Each test gets its own record id: `id_prefix`, the test's name and the
// process id.
class LoopbackServerTest : public testing::Test {
 protected:
  explicit LoopbackServerTest(std::string id_prefix = "") : id_prefix_(std::move(id_prefix)) {}
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const char* port = std::getenv("HALBERD_HTTP_TEST_PORT");
    if (!port || std::atoi(port) <= 0)
      GTEST_SKIP() << "HALBERD_HTTP_TEST_PORT is not set: start tests/tools/http_test_server.py and set it to "
                      "the port the server prints";
    port_ = std::atoi(port);
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    id_ = id_prefix_ + info->name() + "-" + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override { WSACleanup(); }

  // The raw requests the server recorded for `id`, in order.
  std::vector<std::string> ServerLogOf(const std::string& id) const {
    bool ok = false;
    std::vector<std::string> requests = RecordedRequests(port_, id, ok);
    if (!ok) ADD_FAILURE() << "no log from the server";
    return requests;
  }

  std::string id_prefix_;
  int port_ = 0;
  std::string id_;
};

}  // namespace halberd::test
