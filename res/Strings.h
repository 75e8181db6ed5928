#pragma once
// Every text the user can see, in one table. Names are stable; texts are byte for byte the product's own.
#include <QString>

#include <utility>
#include <vector>

// X(name, text)
#define QUORVANE_STRING_TABLE(X)                                                                                                                \
    X(AppCaption, "Cloffa")                                                                                                                     \
    X(MainWindowTitle, "Cloffa - Tavirun")                                                                                                      \
    X(ZeroMegabytes, "0MB")                                                                                                                     \
    X(ServiceAnswerInvalid,                                                                                                                     \
      "파일서비스 요청이 정상적으로 이루어지지 않고 있습니다.\n문제가 지속될 경우 고객센터로 문의하십시오")                                     \
    X(FileListFetchFailed, "파일 목록을 가져올 수 없습니다.\n오류번호 : %d")                                                                    \
    X(DeleteFailed, "파일을 삭제할 수 없습니다. error number: %d")                                                                              \
    X(UpdateCheckFailed, "파일서비스 업데이트 체크에러\n오류번호: %d")                                                                          \
    X(UnknownFileSize, "크기를 알 수 없는 파일입니다.\n정상적인 파일인지 확인후 다시 시도해 주십시오.")                                         \
    X(UploadOpenFailed, "업로드 요청을 여는데 실패했습니다.")                                                                                   \
    X(UploadTooLarge, "파일의 크기가 너무 커서 업로드할 수 없습니다.\n2GB보다 작은 파일만 업로드할 수 있습니다.")                               \
    X(UploadNameRefused, "파일 이름에 큰따옴표나 줄바꿈 문자가 들어 있어 업로드할 수 없습니다.\n파일 이름을 " \
                         "바꾼 후 다시 시도해 주십시오.")                                                                                       \
    X(UploadFileOpenFailed, "파일열기에 실패했습니다.\n파일이 사용중인지 확인후 다시 시도해 주십시오.\n%s")                                     \
    X(UploadRequestFailed, "업로드 요청에 실패했습니다.")                                                                                       \
    X(UploadWriteFailed, "파일 쓰기에 실패했습니다.")                                                                                           \
    X(UploadReadFailed, "업로드 데이터를 읽어들이는데 실패했습니다.")                                                                           \
    X(UploadNoSpace, "디스크 용량이 부족하여 전송을 완료할 수 없습니다.")                                                                       \
    X(UploadEndFailed, "업로드 요청을 마무리하는 도중 문제가 발생했습니다.")                                                                    \
    X(UploadNoStatus, "업로드 명령에 대한 응답을 확인할 수가 없습니다.")                                                                        \
    X(DownloadOpenFailed, "다운로드 연결요청을 열수가 없습니다.")                                                                               \
    X(DownloadRequestFailed, "다운로드 연결요청에 실패했습니다.")                                                                               \
    X(DownloadCertDateFailed, "다운로드 연결요청에 실패했습니다.\n시스템 날짜가 정확한지 확인해 주십시오.")                                     \
    X(DownloadNoLength, "다운로드할 파일의 크기를 구할 수 없습니다.")                                                                           \
    X(DownloadCreateFailed,                                                                                                                     \
      "파일을 생성할 수 없습니다.\n사용자 권한 및 디스크 여유공간을 확인후\n다시 시도해 주십시오.")                                             \
    X(DownloadReadFailed, "서버에서 파일을 읽어오는 도중 문제가 발생했습니다.")                                                                 \
    X(DownloadWriteFailed, "파일을 기록하는 도중 문제가 발생했습니다.")                                                                         \
    X(DownloadNoStatus, "다운로드 명령에 대한 응답을 확인할 수가 없습니다.")                                                                    \
    X(Status400, "invalid syntax...")                                                                                                           \
    X(Status401, "access denied...")                                                                                                            \
    X(Status402, "payment required...")                                                                                                         \
    X(Status403, "request forbidden...")                                                                                                        \
    X(Status404, "요청하신 파일은 바이러스로 분류되어 자동 삭제되었습니다.")                                                                    \
    X(Status405Upload, "저장공간이 부족합니다...")                                                                                              \
    X(Status405Download, "허락되지 않은 요청입니다...")                                                                                         \
    X(Status408, "요청을 기다리는 동안 타임 아웃이 발생했습니다...")                                                                            \
    X(Status500,                                                                                                                                \
      "%s를 완료할 수가 없습니다.\n잠시후 다시 시도해 보신후\n문제가 지속될 경우 고객센터로 문의하십시오.")                                     \
    X(StatusOther, "요청하신 명령을 수행할 수가 없습니다.\n문제가 지속될 경우 고객센터로 문의하십시오.")                                        \
    X(WordUpload, "업로드")                                                                                                                     \
    X(WordDownload, "다운로드")                                                                                                                 \
    X(WordDelete, "삭제")                                                                                                                       \
    X(InternetSetupFailed, "인터넷 연결 설정에 실패했습니다.")                                                                                  \
    X(DownloadBusyFile, "전송중인 파일은 다운로드할 수 없습니다.")                                                                              \
    X(UploadBusyFile, "전송중인 파일은 업로드할 수 없습니다.")                                                                                  \
    X(TransferTitle, "파일전송")                                                                                                                \
    X(TransferCurrentFile, "현재파일")                                                                                                          \
    X(TransferCountPlaceholder, "Static")                                                                                                       \
    X(TransferBytesPlaceholder, "0 Kbyte / 0Kbyte")                                                                                             \
    X(ButtonCancel, "취소")                                                                                                                     \
    X(ButtonPause, "일시정지")                                                                                                                  \
    X(TransferDownloading, "다운로드중...")                                                                                                     \
    X(TransferUploading, "업로드중...")                                                                                                         \
    X(TransferThreadFailed, "전송쓰레드를 생성할 수 없습니다.")                                                                                 \
    X(TransferCountFormat, "(%d/%d)")                                                                                                           \
    X(TransferBytesFormat, "%s / %s")                                                                                                           \
    X(ButtonYes, "예")                                                                                                                          \
    X(ButtonYesToAll, "모두 예")                                                                                                                \
    X(ButtonNo, "아니오")                                                                                                                       \
    X(TransferErrorFormat, "%s\n오류번호: %d")                                                                                                  \
    X(TransferCancelQuestion, "파일전송을 취소하시겠습니까?")                                                                                   \
    X(DialogFontFace, "굴림")                                                                                                                   \
    X(ButtonAlwaysOnTop, "*")                                                                                                                   \
    X(ButtonMinimize, "_")                                                                                                                      \
    X(ButtonClose, "x")                                                                                                                         \
    X(QuotaTotalLabel, "총 용량:")                                                                                                              \
    X(QuotaUsedLabel, "사용중인 용량:")                                                                                                         \
    X(QuotaFreeLabel, "남은 용량:")                                                                                                             \
    X(TipAlwaysOnTopOff, "항상 위 해제")                                                                                                        \
    X(TipAlwaysOnTopOn, "항상 위 설정")                                                                                                         \
    X(TipMinimize, "최소화")                                                                                                                    \
    X(TipExit, "프로그램 종료")                                                                                                                 \
    X(AccessibleAlwaysOnTop, "항상 위")                                                                                                         \
    X(AccessibleExit, "종료")                                                                                                                   \
    X(AccessibleFileList, "파일 목록")                                                                                                          \
    X(VersionRefused,                                                                                                                           \
      "현재 버전의 Cloffa은 더이상 사용하실 수 없습니다.\nTavirun를 최신버전으로 업데이트 하십시오...")                                         \
    X(LogoutAfterTransfer, "Tavirun가 로그아웃 되었습니다.\n전송 완료후 Cloffa을 종료합니다.")                                                  \
    X(LogoutClosing, "Tavirun가 로그아웃 되었습니다.\nCloffa을 종료합니다.")                                                                    \
    X(CloseRefusedBusy, "진행중인 작업이 있습니다.\n작업을 완료후 다시 시도해 주십시오")                                                        \
    X(ColumnName, "파일명")                                                                                                                     \
    X(ColumnSize, "크기")                                                                                                                       \
    X(ColumnDate, "등록날짜")                                                                                                                   \
    X(WaitFileList, "파일목록을 가져오는 중입니다.\n잠시만 기다려 주십시오...")                                                                 \
    X(WaitUserInfo, "사용자 정보를 가져오는 중입니다.\n잠시만 기다려 주십시오...")                                                              \
    X(WaitDeleting, "파일을 삭제중입니다.\n잠시만 기다려 주십시오...")                                                                          \
    X(ServiceThreadFailed, "서비스 호출 쓰레드를 생성할 수 없습니다.")                                                                          \
    X(DeleteBusyFile, "작업중인 파일은 삭제할 수 없습니다.")                                                                                    \
    X(DeleteNothingSelected, "삭제할 파일을 선택하여 주십시오.")                                                                                \
    X(DeleteQuestion, "선택된 파일을 삭제하시겠습니까?  ")                                                                                      \
    X(DownloadNothingSelected, "다운로드할 파일을 선택하여 주십시오.")                                                                          \
    X(DownloadCountFormat, "%d개의 파일을 다운로드합니다.")                                                                                     \
    X(OpenFileFilter, "모든 파일 (*)")                                                                                                          \
    X(DropFolderRefused, "폴더단위 드래그는 지원하지 않습니다.")                                                                                \
    X(DropFileMissing, "파일이 존재하지 않습니다.")                                                                                             \
    X(DragOutNotCompleted,                                                                                                                      \
      "파일을 놓은 폴더를 찾지 못해 내려받지 못했습니다.\n다운로드 버튼으로 다시 내려받아 주십시오.")                                           \
    X(DragOutUnavailable, "끌어서 내려받기를 준비할 수 없습니다.\n다운로드 버튼으로 내려받아 주십시오.")                                        \
    X(UploadUnreadable, "파일을 읽을 수 없습니다.\n다른 프로그램에서 사용중인지 확인하세요.")                                                   \
    X(UploadSpaceQuestion, "디스크 용량이 충분하지 않습니다.\n전송작업을 계속 하시겠습니까?")                                                   \
    X(DownloadDialogTitle, "다운로드")                                                                                                          \
    X(DownloadDialogMessage, "총 2개의 파일을다운로드 합니다.")                                                                                 \
    X(DownloadFolderLabel, "저장위치:")                                                                                                         \
    X(ButtonBrowse, "...")                                                                                                                      \
    X(DownloadOpenFolder, "다운로드 완료후 폴더 열기")                                                                                          \
    X(ButtonStart, "시작")                                                                                                                      \
    X(ReplaceDialogTitle, "파일 바꾸기 확인")                                                                                                   \
    X(ReplaceSecondLine, "기존파일을 이 파일로 바꾸시겠습니까?")                                                                                \
    X(BrowseFolderTitle, "폴더를 선택하세요")                                                                                                   \
    X(FolderMissing, "폴더가 존재하지 않습니다.")                                                                                               \
    X(FolderInvalid, "폴더명이 잘못되었습니다.\n유효한 폴더명을 입력하세요.")                                                                   \
    X(ReplaceQuestionFormat, "\"%s\"와 같은 이름을 가진 파일이 있습니다.")                                                                      \
    X(WaitBoxPlaceholder, "메세지문자열")                                                                                                       \
    X(SendNoRunningCopy, "Cloffa가 실행 중이 아니어서 파일을 보내지 못했습니다.")                                                               \
    X(SendNoRunningCopyHint, "툴바에서 Cloffa를 연 다음 다시 보내 주십시오.")                                                                   \
    X(SendRefused, "Cloffa가 지금은 파일을 받을 수 없습니다.")                                                                                  \
    X(SendRefusedHint, "진행 중인 작업이 끝난 다음 다시 보내 주십시오.")                                                                        \
    X(NotifyUploadDone, "업로드를 마쳤습니다.")                                                                                                 \
    X(NotifyUploadDoneFormat, "%d개의 파일을 업로드했습니다.")                                                                                  \
    X(NotifyDownloadDone, "다운로드를 마쳤습니다.")                                                                                             \
    X(NotifyDownloadDoneFormat, "%d개의 파일을 다운로드했습니다.")                                                                              \
    X(NotifyUploadFailed, "업로드하지 못했습니다.")                                                                                             \
    X(NotifyDownloadFailed, "다운로드하지 못했습니다.")

namespace Strings {
#define QUORVANE_DECLARE_STRING(name, text) inline const QString name = QStringLiteral(text);
QUORVANE_STRING_TABLE(QUORVANE_DECLARE_STRING)
#undef QUORVANE_DECLARE_STRING

// (name, text) of every entry, in table order; for checks and tools.
const std::vector<std::pair<QString, QString>>& All();
} // namespace Strings
