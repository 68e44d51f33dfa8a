// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Registry.h"

#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace startel {
namespace {

using test::kComponent;
using test::kProduct;
using test::TempDir;
using test::writeFile;

TEST(Registry, GuidForm) {
    EXPECT_TRUE(isGuid(kProduct));
    EXPECT_TRUE(isGuid("{6a0c1f2e-3b4d-4e5f-8a9b-0c1d2e3f4a5b}"));
    EXPECT_FALSE(isGuid("6A0C1F2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B"));
    EXPECT_FALSE(isGuid("{6A0C1F2E-3B4D-4E5F-8A9B-0C1D2E3F4A5G}"));
    EXPECT_FALSE(isGuid("{6A0C1F2E03B4D-4E5F-8A9B-0C1D2E3F4A5B}"));
    EXPECT_FALSE(isGuid("{../../../../etc/passwd-0000000000000}"));
    EXPECT_FALSE(isGuid(""));
}

TEST(Registry, ProductStateFromItsFile) {
    TempDir dir;
    FolderProductRegistry registry(dir.path());
    EXPECT_EQ(registry.queryProductState(kProduct), kStateUnknown);

    writeFile(dir.file(std::string(kProduct) + ".ini"), "[Product]\nName=Velkard\n");
    EXPECT_EQ(registry.queryProductState(kProduct), kStateInstalled);

    // Product codes differ from file names only in case.
    EXPECT_EQ(registry.queryProductState("{6a0c1f2e-3b4d-4e5f-8a9b-0c1d2e3f4a5b}"),
              kStateInstalled);

    writeFile(dir.file(std::string(kProduct) + ".ini"), "[Product]\nState=1\n");
    EXPECT_EQ(registry.queryProductState(kProduct), 1);
    writeFile(dir.file(std::string(kProduct) + ".ini"), "[Product]\nState=yes\n");
    EXPECT_EQ(registry.queryProductState(kProduct), kStateUnknown);
}

TEST(Registry, MalformedCodesNeverReachTheFileSystem) {
    TempDir dir;
    writeFile(dir.file("x.ini"), "[Components]\n");
    FolderProductRegistry registry(dir.path() + "/sub");
    std::string path = "untouched";
    EXPECT_EQ(registry.queryProductState("../x"), kStateInvalidArgument);
    EXPECT_EQ(registry.getComponentPath("../x", kComponent, path), kStateInvalidArgument);
    EXPECT_EQ(registry.getComponentPath(kProduct, "", path), kStateInvalidArgument);
    EXPECT_EQ(path, "untouched");
}

TEST(Registry, ComponentPaths) {
    TempDir dir;
    writeFile(dir.file("velkard"), "#!/bin/sh\n", true);
    const std::string gone = "{22222222-2222-3333-4444-555555555555}";
    const std::string fromSource = "{33333333-2222-3333-4444-555555555555}";
    const std::string unknown = "{44444444-2222-3333-4444-555555555555}";
    writeFile(dir.file(std::string(kProduct) + ".ini"),
              "[Components]\n" + std::string(kComponent) + "=" + dir.file("velkard") + "\n" + gone +
                  "=" + dir.file("deleted") + "\n[Source]\n" + fromSource +
                  "=/media/cdrom/bin/tool\n");
    FolderProductRegistry registry(dir.path());

    std::string path;
    EXPECT_EQ(registry.getComponentPath(kProduct, kComponent, path), kStateLocal);
    EXPECT_EQ(path, dir.file("velkard"));

    path.clear();
    EXPECT_EQ(registry.getComponentPath(kProduct, fromSource, path), kStateSource);
    EXPECT_EQ(path, "/media/cdrom/bin/tool");

    path.clear();
    EXPECT_EQ(registry.getComponentPath(kProduct, gone, path), kStateAbsent);
    EXPECT_EQ(registry.getComponentPath(kProduct, unknown, path), kStateUnknown);
    EXPECT_EQ(path, "");

    // Components of a product that is not installed are not available.
    writeFile(dir.file(std::string(kProduct) + ".ini"), "[Product]\nState=2\n[Components]\n" +
                                                            std::string(kComponent) + "=" +
                                                            dir.file("velkard") + "\n");
    EXPECT_EQ(registry.getComponentPath(kProduct, kComponent, path), kStateUnknown);
}

TEST(Registry, FolderFromEnvironment) {
    ::setenv("STARTEL_PRODUCTS_DIR", "/opt/test/products", 1);
    EXPECT_EQ(productsFolderFromEnvironment(), "/opt/test/products");
    ::setenv("STARTEL_PRODUCTS_DIR", "", 1);
    EXPECT_EQ(productsFolderFromEnvironment(), "/var/lib/startel/products");
    ::unsetenv("STARTEL_PRODUCTS_DIR");
    EXPECT_EQ(productsFolderFromEnvironment(), "/var/lib/startel/products");
}

} // namespace
} // namespace startel
