// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace startel {

// Installation states with the installer's numbering.
inline constexpr int kStateInvalidArgument = -2;
inline constexpr int kStateUnknown = -1;
inline constexpr int kStateAbsent = 2;
inline constexpr int kStateLocal = 3;  // component installed on this machine
inline constexpr int kStateSource = 4; // component run from the installation source
inline constexpr int kStateInstalled = 5;

// The installer's two answers the launcher needs.
class ProductRegistry {
public:
    virtual ~ProductRegistry() = default;
    // kStateInstalled when the product is installed.
    virtual int queryProductState(const std::string& productCode) = 0;
    // kStateLocal or kStateSource with `path` set when the component's program is available.
    virtual int getComponentPath(const std::string& productCode, const std::string& componentId,
                                 std::string& path) = 0;
};

// A folder of small INI files, one per installed product, named "<product code>.ini":
//
//   [Product]
//   State=5                        ; optional, 5 (installed) when absent
//   [Components]
//   {component code}=/opt/velkard/bin/velkard   ; installed locally
//   [Source]
//   {component code}=/media/cdrom/bin/tool      ; run from the installation source
//
// Codes are braced GUIDs; anything else is an invalid argument and never reaches the file system.
class FolderProductRegistry final : public ProductRegistry {
public:
    explicit FolderProductRegistry(std::string folder);
    int queryProductState(const std::string& productCode) override;
    int getComponentPath(const std::string& productCode, const std::string& componentId,
                         std::string& path) override;

private:
    std::string productFile(const std::string& productCode) const;
    std::string folder_;
};

// STARTEL_PRODUCTS_DIR when set, otherwise /var/lib/startel/products.
std::string productsFolderFromEnvironment();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool isGuid(std::string_view text);

} // namespace startel
