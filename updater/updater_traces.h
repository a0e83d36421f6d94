// The updater's trace lines of the status handling, spelt as the trace has always shown them.
#pragma once

namespace tavrin {

constexpr const char* kTraceSizeStatus = "STATUS_DOWNLOAD_SIZE-0";
constexpr const char* kTraceStartStatus = "STATUS_DOWNLOAD_START - 0";
constexpr const char* kTraceStartConfig = "STATUS_DOWNLOAD_START  -- 1";
constexpr const char* kTraceStartPackage = "down start...";
constexpr const char* kTraceStartDone = "STATUS_DOWNLOAD_START  -- 3";
constexpr const char* kTraceNoWorker = "CDownLoadDlg - no worker thread could be started";
constexpr const char* kTraceStatusDropped = "CDownLoadDlg::OnDownloadStatus - closed, status dropped";

}  // namespace tavrin
