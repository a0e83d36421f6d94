// Every text the player reads, in UTF-8 (the window layers convert to UTF-16): the messages of
// the control, of the running-client check and of the updater, all under one caption.
#pragma once

namespace tavrin {

constexpr const char* kMessageCaption = "Velmora Orbisan";

// The control, when the page's values are refused.
constexpr const char* kLaunchRefused =
    "웹 페이지가 보낸 로그인 정보가 올바르지 않아 Velmora 바둑을 실행하지 않았습니다.\r\n\r\n"
    "Velmora 바둑 웹사이트에서 다시 로그인한 뒤 시도하시기 바랍니다.";
// The control, when the install folder holds no whole set to start: an installation that could
// not be finished (its record unreadable, or a file that cannot be put back yet), or another
// page's installation still at work.
constexpr const char* kInstallUnfinished =
    "Velmora 바둑의 설치가 끝나지 않은 상태여서 실행하지 않았습니다.\r\n\r\n"
    "잠시 후 이 페이지를 다시 열어 주시고, 계속되면 Velmora 바둑 웹사이트에서 재설치하시기 "
    "바랍니다.";
constexpr const char* kInstallBusy =
    "다른 창에서 Velmora 바둑을 설치하고 있어 실행하지 않았습니다.\r\n\r\n"
    "설치가 끝난 뒤 이 페이지를 다시 열어 주시기 바랍니다.";
// The running-client check: the question, and the failure to end the client.
constexpr const char* kClientRunningQuestion =
    "Velmora 바둑이 이미 실행중입니다.\r\n\r\n이 실행중인 Velmora 바둑 프로그램을 강제로 "
    "종료하고\r\n\r\n업그레이드를 하시겠습니까?";
constexpr const char* kClientNotEnded =
    "이미 실행중인 Velmora 바둑 프로그램 종료에 실패했습니다.\r\n\r\n컴퓨터를 재부팅후 다시 "
    "실행하기시 바랍니다.";

// The updater.
constexpr const char* kStopQuestion =
    "현재 진행중인 업그레이드를 중지할까요?\r\n\r\n"
    "업그레이드를 하지않으면 Velmora 바둑을 실행할 수 없습니다.";
constexpr const char* kUpgradeFailed =
    "자동 업그레이드에 문제가 발생했습니다.\r\n\r\n"
    "Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";
constexpr const char* kUpgradeStopped = "업그레이드가 중지되었습니다.";
constexpr const char* kConfigReadFailed = "config파일 읽기에 실패하였습니다.";
constexpr const char* kCloseLabel = "닫  기";
// The progress popup's line while a package is installed, after the package's name.
constexpr const char* kInstallingTail = " - Installing...";
// The refusals of the signed update configuration and of a package that is not the signed one.
constexpr const char* kConfigNotTrusted =
    "받은 업데이트 정보가 Velmora의 서명과 맞지 않아 업그레이드를 중지했습니다.\r\n\r\n"
    "잠시 후 다시 시도하시고, 계속되면 Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";
constexpr const char* kConfigExpired =
    "받은 업데이트 정보의 유효 기간이 지나 업그레이드를 중지했습니다.\r\n\r\n"
    "컴퓨터의 날짜와 시각이 맞는지 확인한 뒤 다시 시도하시기 바랍니다.";
constexpr const char* kConfigRolledBack =
    "받은 업데이트가 설치된 버전보다 오래되어 업그레이드를 중지했습니다.\r\n\r\n"
    "잠시 후 다시 시도하시기 바랍니다.";
// A release older than this control accepts (also where nothing was installed before).
constexpr const char* kConfigTooOld =
    "받은 업데이트가 이 프로그램이 설치할 수 있는 버전보다 오래되어 업그레이드를 중지했습니다.\r\n\r\n"
    "잠시 후 다시 시도하시기 바랍니다.";
constexpr const char* kConfigCannotVerify =
    "이 Windows에서는 업데이트의 서명을 확인할 수 없어 아무것도 설치하지 않았습니다.\r\n\r\n"
    "Windows XP 서비스 팩 3 이상으로 업데이트한 뒤 다시 시도하시기 바랍니다.";
// Followed by the package's name and kPackageRefusedTail.
constexpr const char* kPackageRefusedHead = "받은 파일 ";
constexpr const char* kPackageRefusedTail =
    " 이(가) 게시된 파일과 달라 아무것도 설치하지 않았습니다.\r\n\r\n"
    "잠시 후 다시 시도하시고, 계속되면 Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";

// Failures of the downloads and folders; the window layer adds the detail below them.
constexpr const char* kNetworkFailed =
    "업데이트 파일을 받는 중에 네트워크 오류가 발생해 업그레이드를 중지했습니다.\r\n\r\n"
    "인터넷 연결을 확인한 뒤 다시 시도하시기 바랍니다.";
constexpr const char* kFileFailed =
    "받은 업데이트 파일을 저장하지 못해 업그레이드를 중지했습니다.\r\n\r\n"
    "디스크에 빈 공간이 있는지 확인한 뒤 다시 시도하시기 바랍니다.";
constexpr const char* kFolderFailed =
    "설치 폴더를 만들 수 없어 업그레이드를 중지했습니다.\r\n\r\n"
    "같은 이름의 파일이 있으면 지우거나 옮긴 뒤 다시 시도하시기 바랍니다.";

// Too little room on the disk; the window layer puts the space needed between the two.
constexpr const char* kSpaceShortHead =
    "디스크 공간이 부족하여 업그레이드를 중지했습니다.\r\n\r\n"
    "업그레이드에는 빈 공간이 ";
constexpr const char* kSpaceShortTail =
    " 필요합니다. 공간을 확보한 뒤 다시 시도하시기 바랍니다.";

// A failed installation whose rollback left some files new or missing; the window layer lists
// them below.
constexpr const char* kRestoreFailed =
    "업그레이드에 실패했고, 이전에 설치된 파일 중 일부를 되돌리지 못했습니다.\r\n\r\n"
    "아래 파일 때문에 Velmora 바둑이 실행되지 않을 수 있으니 "
    "Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";
// The client could not be started (missing, not a program, refused), by the updater or by the
// control; the window layer adds its path below.
constexpr const char* kClientNotStarted =
    "Velmora 바둑을 실행하지 못했습니다.\r\n\r\n"
    "프로그램 파일이 없거나 손상되었을 수 있으니 "
    "Velmora 바둑 웹사이트에서 재설치하시기 바랍니다.";

}  // namespace tavrin
