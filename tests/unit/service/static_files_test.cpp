#include "service/frontend/static_files.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.hpp"

TEST(DecodeTargetPath, RefusesEscapes) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"/", "/"},
        {"/a%20b.html?x=1#f", "/a b.html"},
        {"/sub/./x", "/sub/./x"},
        {"/../etc/passwd", std::nullopt},
        {"/a/..", std::nullopt},
        {"/%2e%2e/secret", std::nullopt},
        {"/a%2Fb", std::nullopt},
        {"/a%5cb", std::nullopt},
        {"/a\\b", std::nullopt},
        {"/a%00", std::nullopt},
        {"/a%2", std::nullopt},
        {"/a%zz", std::nullopt},
        {"relative", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [target, expected] : cases)
        EXPECT_EQ(decodeTargetPath(target), expected) << target;
}

TEST(ResolveStaticFile, StaysInsideTheRoot) {
    TempDir dir;
    const std::string root = dir.file("web");
    std::filesystem::create_directories(root + "/sub");
    writeFile(root + "/index.html", "home");
    writeFile(root + "/sub/index.html", "sub");
    writeFile(root + "/app.js", "js");
    writeFile(dir.file("secret.txt"), "secret");
    ASSERT_EQ(::symlink(dir.file("secret.txt").c_str(), (root + "/leak.txt").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/app.js").c_str(), (root + "/alias.js").c_str()), 0);
    const std::string realRoot = std::filesystem::canonical(root).string();

    EXPECT_EQ(resolveStaticFile(root, "/"), realRoot + "/index.html");
    EXPECT_EQ(resolveStaticFile(root, "/sub"), realRoot + "/sub/index.html");
    EXPECT_EQ(resolveStaticFile(root, "/app.js?v=2"), realRoot + "/app.js");
    EXPECT_EQ(resolveStaticFile(root, "/alias.js"), realRoot + "/app.js");
    EXPECT_EQ(resolveStaticFile(root, "/leak.txt"), std::nullopt);
    EXPECT_EQ(resolveStaticFile(root, "/../secret.txt"), std::nullopt);
    EXPECT_EQ(resolveStaticFile(root, "/missing.html"), std::nullopt);
    EXPECT_EQ(resolveStaticFile(dir.file("nowhere"), "/"), std::nullopt);
}

TEST(DocumentRoot, TheProgramsOwnWebFolderElseTheInstalledOne) {
    TempDir dir;
    const std::string bin = dir.file("usr/bin");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(documentRootFor(bin), bin + "/web");  // neither: the own one, as a 404 says
    std::filesystem::create_directories(dir.file("usr/share/rfdock/web"));
    EXPECT_EQ(std::filesystem::canonical(documentRootFor(bin)),
              std::filesystem::canonical(dir.file("usr/share/rfdock/web")));
    std::filesystem::create_directories(bin + "/web");
    EXPECT_EQ(documentRootFor(bin), bin + "/web");
}

TEST(MimeType, ByExtension) {
    EXPECT_STREQ(mimeType("/a/index.HTML"), "text/html; charset=utf-8");
    EXPECT_STREQ(mimeType("/rfdock.js"), "text/javascript; charset=utf-8");
    EXPECT_STREQ(mimeType("/x.d.ts"), "text/plain; charset=utf-8");
    EXPECT_STREQ(mimeType("/dir.v1/file"), "application/octet-stream");
}
