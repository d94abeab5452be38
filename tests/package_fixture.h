// A private folder on disk for each case of a checker test's table.
#ifndef CAMSETUP_TESTS_PACKAGE_FIXTURE_H_
#define CAMSETUP_TESTS_PACKAGE_FIXTURE_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace camsetup::testing {

// A table's cases, each in a package folder of its own.
template <typename Case>
class PackageTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    // The package is a folder within a private one, so that a Path that
    // climbs out of it by ".." finds nothing that other programs left in /tmp.
    char pattern[] = "/tmp/camsetup-check-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    dir_ = root_ + "/pkg";
    std::filesystem::create_directory(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string root_;
  std::string dir_;
};

}  // namespace camsetup::testing

#endif  // CAMSETUP_TESTS_PACKAGE_FIXTURE_H_
