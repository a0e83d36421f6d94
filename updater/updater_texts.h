// What the updater shows the user, in UTF-8 (the window layer converts to UTF-16), and the
// names of the files it writes.
#pragma once

namespace tavrin {

constexpr const char* kMessageCaption = "Velmora Orbisan";
constexpr const char* kStopQuestion =
    "현재 진행중인 업그레이드를 중지할까요?\r\n\r\n"
    "업그레이드를 하지않으면 Velmora 바둑을 실행할 수 없습니다.";
constexpr const char* kUpgradeFailed =
    "자동 업그레이드에 문제가 발생했습니다.\r\n\r\n"
    "Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";
constexpr const char* kUpgradeStopped = "업그레이드가 중지되었습니다.";
constexpr const char* kConfigReadFailed = "config파일 읽기에 실패하였습니다.";
constexpr const char* kCloseLabel = "닫  기";

// Trace lines of the status handling, spelt as the trace has always shown them.
constexpr const char* kTraceSizeStatus = "STATUS_DOWNLOAD_SIZE-0";
constexpr const char* kTraceStartStatus = "STATUS_DOWNLOAD_START - 0";
constexpr const char* kTraceStartConfig = "STATUS_DOWNLOAD_START  -- 1";
constexpr const char* kTraceStartPackage = "down start...";
constexpr const char* kTraceStartDone = "STATUS_DOWNLOAD_START  -- 3";
constexpr const char* kTraceStatusDropped = "CDownLoadDlg::OnDownloadStatus - closed, status dropped";

}  // namespace tavrin
