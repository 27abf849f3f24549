// The commands of the `wlreg` tool over the Win32 registry functions. Each
// returns the process exit status (0 success, 1 failure, 2 usage) and writes
// its output to `out` and its messages to `err`.
#pragma once

#include <iosfwd>
#include <string>

#include "reg_file.h"

namespace wl::regtool {

// Applies a .reg file in one transaction: on any error nothing is changed.
int Import(const std::string& fileName, std::ostream& err);
// Writes `key` and everything below it, or every root when `key` is empty.
int Export(const std::string& key, regfile::Format format, std::ostream& out, std::ostream& err);
// Lists a key (values, then subkeys) or one value.
int Query(const std::string& key, const std::string* valueName, std::ostream& out,
          std::ostream& err);
// TYPE is REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ (strings separated by "\0"),
// REG_DWORD (decimal or 0x hex), REG_BINARY (hex digits, commas and blanks
// allowed) or REG_NONE. The key is created when missing.
int Set(const std::string& key, const std::string& valueName, const std::string& type,
        const std::string& data, std::ostream& err);
// Deletes one value, or the key with everything below it.
int Delete(const std::string& key, const std::string* valueName, std::ostream& err);

// A readable text for a Win32 error code.
std::string ErrorText(long code);

}  // namespace wl::regtool
