#include <gtest/gtest.h>

#include "ceflib/wrappers/web_plugin.h"
#include "ceflib/wrappers/zip_reader.h"
#include "wrappers/operation_check.h"

using namespace ceflib;

namespace {

using Info = cef_web_plugin_info_t;
using Zip = cef_zip_reader_t;

// Our engine has no plugins, so this wrapper is checked against fake records only.
TEST(UtilityWrappers, EveryOperationCallsItsMemberWithConvertedValues) {
  CHECK_OPERATION(Info::get_name, ICefWebPluginInfo::GetName);
  CHECK_OPERATION(Info::get_path, ICefWebPluginInfo::GetPath);
  CHECK_OPERATION(Info::get_version, ICefWebPluginInfo::GetVersion);
  CHECK_OPERATION(Info::get_description, ICefWebPluginInfo::GetDescription);
  CHECK_OPERATION(Zip::move_to_first_file, ICefZipReader::MoveToFirstFile);
  CHECK_OPERATION(Zip::move_to_next_file, ICefZipReader::MoveToNextFile);
  CHECK_OPERATION(Zip::move_to_file, ICefZipReader::MoveToFile);
  CHECK_OPERATION(Zip::close, ICefZipReader::Close);
  CHECK_OPERATION(Zip::get_file_name, ICefZipReader::GetFileName);
  CHECK_OPERATION(Zip::get_file_size, ICefZipReader::GetFileSize);
  CHECK_OPERATION(Zip::open_file, ICefZipReader::OpenFile);
  CHECK_OPERATION(Zip::close_file, ICefZipReader::CloseFile);
  CHECK_OPERATION(Zip::read_file, ICefZipReader::ReadFile);
  CHECK_OPERATION(Zip::tell, ICefZipReader::Tell);
  CHECK_OPERATION(Zip::eof, ICefZipReader::Eof);
}

}  // namespace
