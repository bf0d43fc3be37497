// Private folders on Windows: made with an access list that grants only this user (and the
// system account), and refused when it exists as a link, belongs to someone else or lets
// another account write into it.
#include "platform/private_dir.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "platform/process_info.h"
#include "platform/runtime_dir.h"
#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

struct local_free {
  void operator()(void* p) const { ::LocalFree(p); }
};

// The SID of the user this process runs as, in its text form ("S-1-5-21-...").
std::string current_user_sid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
  std::string out;
  if (::GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
    LPWSTR text = nullptr;
    if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
      out = win32::utf8(text);
      ::LocalFree(text);
    }
  }
  ::CloseHandle(token);
  return out;
}

bool is_trusted(PSID sid, PSID user) {
  if (::EqualSid(sid, user)) return true;
  // The system account and the administrators may always enter a user's folders.
  for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinCreatorOwnerSid}) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    if (::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer)) return true;
  }
  return false;
}

constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                               FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Owned by the user, and no other account (but the trusted ones) may read or write in it.
bool only_ours(const std::wstring& path, const std::string& user_sid_text) {
  PSID user = nullptr;
  if (!::ConvertStringSidToSidW(win32::wide(user_sid_text).c_str(), &user)) return false;
  std::unique_ptr<void, local_free> user_guard(user);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  std::unique_ptr<void, local_free> descriptor_guard(descriptor);
  if (!owner || !is_trusted(owner, user)) return false;
  if (!dacl) return false;  // no access list: everyone may do everything
  for (DWORD k = 0; k < dacl->AceCount; ++k) {
    ACE_HEADER* header = nullptr;
    if (!::GetAce(dacl, k, reinterpret_cast<void**>(&header))) return false;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if (is_trusted(&ace->SidStart, user)) continue;
    if (ace->Mask & (kWriteRights | FILE_READ_DATA | GENERIC_READ)) return false;
  }
  return true;
}

} // namespace

bool ensure_private_dir(const std::string& dir) {
  if (dir.empty()) return false;
  std::string sid = current_user_sid();
  if (sid.empty()) return false;
  std::wstring path = win32::wide_path(dir);
  // Full control for this user and the system account only, nothing inherited.
  std::wstring sddl = L"D:P(A;OICI;FA;;;" + win32::wide(sid) + L")(A;OICI;FA;;;SY)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  std::unique_ptr<void, local_free> guard(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  if (!::CreateDirectoryW(path.c_str(), &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  DWORD kind = ::GetFileAttributesW(path.c_str());
  if (kind == INVALID_FILE_ATTRIBUTES || !(kind & FILE_ATTRIBUTE_DIRECTORY) || (kind & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  return only_ours(path, sid);
}

std::string private_temp_dir(const std::string& name) {
  std::string tmp = temp_path();
  if (tmp.empty()) return {};
  std::string dir = tmp + name;
  if (ensure_private_dir(dir)) return dir + "/";
  std::string run = runtime_dir();
  if (run.empty()) return {};
  dir = run + "/" + name;
  return ensure_private_dir(dir) ? dir + "/" : std::string();
}

} // namespace kit::platform
