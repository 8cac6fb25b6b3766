// The menu, accelerators and string table the program is built with.
#include "tests/gui/main_window_fixture.h"

#include "app/main_window.h"
#include "res/resource.h"

#include <map>
#include <vector>

namespace {

// One line per item: separators as "-", submenus as "text:" followed by their items indented,
// commands as "text =id".
void DumpMenu(HMENU menu, int depth, std::wstring& out) {
    int count = GetMenuItemCount(menu);
    for (int index = 0; index < count; ++index) {
        wchar_t text[256] = L"";
        MENUITEMINFOW info = {sizeof info};
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        GetMenuItemInfoW(menu, index, TRUE, &info);
        out += std::wstring(depth * 2, L' ');
        if (info.fType & MFT_SEPARATOR) {
            out += L"-\n";
        } else if (info.hSubMenu != nullptr) {
            out += std::wstring(text) + L":\n";
            DumpMenu(info.hSubMenu, depth + 1, out);
        } else {
            out += std::wstring(text) + L" =" + std::to_wstring(info.wID) + L"\n";
        }
    }
}

const wchar_t kExpectedMenu[] =
    LR"(ファイル(&F):
  ダウンロードリスト(&O):
    ファイルを選択(&O)...	F2 =1000
    ダウンロードリストを追加(&A)	F3 =1007
  ダウンロードログ(&L):
    ファイルを選択(&O)... =1001
    ファイルをリストに適用(&A) =1010
  中断ログ(&C):
    ファイルを選択(&O)... =1002
    ファイルをリストに適用(&A) =1013
  エラーログ(&E):
    ファイルを選択(&O)... =1003
    ファイルをリストに適用(&A) =1016
  保存フォルダを選択(&H)...	F4 =1004
  -
  終了(&X)	Alt+F4 =1044
ダウンロード(&D):
  ダウンロード実行(&D)	F5 =1005
  選択URLのダウンロード実行(&F)	F6 =1062
  -
  選択と反転(&A):
    スタンバイのURL(&O):
      を選択する(&A) =1054
      の選択を反転する(&I) =1058
    DL済みのURL(&L):
      を選択する(&A) =1055
      の選択を反転する(&I) =1059
    DL中断のURL(&C):
      を選択する(&A) =1056
      の選択を反転する(&I) =1060
    エラーのURL(&E):
      を選択する(&A) =1057
      の選択を反転する(&I) =1061
    -
    全てのURL(&A):
      を選択する(&A) =1040
      の選択を反転する(&I) =1041
  -
  スタンバイに変更(&S):
    選択URL(&S) =1022
    全てのURL(&A) =1023
  ダウンロード済みに変更(&Z):
    選択URL(&S) =1024
    全てのURL(&A) =1025
  ダウンロード中断に変更(&X):
    選択URL(&S) =1026
    全てのURL(&A) =1027
  エラーに変更(&I):
    選択URL(&S) =1028
    全てのURL(&A) =1029
  リストから削除(&V):
    選択URL(&S) =1030
    全てのURL(&A)	F7 =1031
  -
  選択URLをDLリストファイル(&O):
    に追加(&A) =1032
    から削除(&D) =1036
  選択URLをDLログファイル(&L):
    に追加(&A) =1033
    から削除(&D) =1037
  選択URLを中断ログファイル(&C):
    に追加(&A) =1034
    から削除(&D) =1038
  選択URLをエラーログファイル(&E):
    に追加(&A) =1035
    から削除(&D) =1039
  -
  保存フォルダを開く(&H)	F8 =1006
  -
  Referer情報設定(&R)... =1045
表示(&V):
  ツールバー(&T):
    標準(&D) =1046
    ダウンロードリスト(&O) =1047
    ダウンロードログ(&L) =1048
    中断ログ(&C) =1049
    エラーログ(&E) =1050
    保存フォルダ(&H) =1051
    Referer情報(&R) =1052
    -
    カスタマイズ(&K)... =1063
  ステータスバー(&S) =1053
ツール(&T):
  ダウンロードリスト(&O):
    編集(&E)	F9 =1008
    フォルダを開く(&F) =1009
  ダウンロードログ(&L):
    編集(&E)	F10 =1011
    フォルダを開く(&F) =1012
  中断ログ(&C):
    編集(&E)	F11 =1014
    フォルダを開く(&F) =1015
  エラーログ(&E):
    編集(&E)	F12 =1017
    フォルダを開く(&F) =1018
  -
  プログラムの在るフォルダを開く(&P) =1042
  -
  オプション(&O)... =1019
ヘルプ(&H):
  Readme.txt(&H)	F1 =1020
  -
  バージョン情報(&A)... =1021
)";

std::wstring LoadString(UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

}  // namespace

TEST_F(MainWindowTest, WindowHasItsClassTitleAndWholeMenu) {
    CreateWindowUnderTest();
    wchar_t className[64];
    GetClassNameW(window_, className, 64);
    EXPECT_STREQ(className, L"VLMR_DL_MAIN");
    wchar_t title[64];
    GetWindowTextW(window_, title, 64);
    EXPECT_STREQ(title, L"Velmora Downloader");
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_EQ(GetWindowLongPtrW(window_, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);

    std::wstring menu;
    DumpMenu(GetMenu(window_), 0, menu);
    EXPECT_EQ(menu, kExpectedMenu);
}

TEST(Resources, AcceleratorsAreTheTwelveFunctionKeysWithoutModifiers) {
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), L"VLMR_DL_ACC");
    ASSERT_NE(table, nullptr);
    ACCEL entries[32];
    int count = CopyAcceleratorTableW(table, entries, 32);
    const std::map<WORD, WORD> expected = {
        {VK_F1, 1020}, {VK_F2, 1000}, {VK_F3, 1007}, {VK_F4, 1004},  {VK_F5, 1005},  {VK_F6, 1062},
        {VK_F7, 1031}, {VK_F8, 1006}, {VK_F9, 1008}, {VK_F10, 1011}, {VK_F11, 1014}, {VK_F12, 1017},
    };
    std::map<WORD, WORD> actual;
    for (int index = 0; index < count; ++index) {
        EXPECT_EQ(entries[index].fVirt & ~FNOINVERT, FVIRTKEY) << index;
        actual[entries[index].key] = entries[index].cmd;
    }
    EXPECT_EQ(count, 12);
    EXPECT_EQ(actual, expected);
}

TEST(Resources, StringTableHoldsTooltipTextsOfButtonCommandsOnly) {
    EXPECT_EQ(LoadString(1000), L"ダウンロードリストファイルを選択");
    EXPECT_EQ(LoadString(1005), L"ダウンロード実行");
    EXPECT_EQ(LoadString(1020), L"Readme.txt");
    EXPECT_EQ(LoadString(1043), L"Referer情報を有効にする");
    EXPECT_EQ(LoadString(1061), L"エラーのURLの選択を反転する");
    EXPECT_EQ(LoadString(1062), L"選択URLのダウンロード実行");
    EXPECT_EQ(LoadString(2016), L"ダウンロード中止");
    for (UINT id = 1000; id <= 1063; ++id) {
        bool hasButton = id <= 1043 || (id >= 1054 && id <= 1062);
        EXPECT_EQ(!LoadString(id).empty(), hasButton) << id;
    }
}

TEST(Resources, IconsLoadAtListAndWindowSizes) {
    for (UINT id = IDI_PROGRAM; id <= IDI_STATE_ERROR; ++id) {
        for (int size : {14, 16, 32}) {
            HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                     size, size, 0);
            EXPECT_NE(icon, nullptr) << id << " at " << size;
            DestroyIcon(static_cast<HICON>(icon));
        }
    }
}

// The toolbars key the button face on pure black. Every image is drawn inside a one-pixel black
// margin, so a strip whose images are shifted or drawn at the wrong pitch shows art on some
// image's edge; an empty image would show nothing but the face.
TEST(Resources, ToolbarStripsAreSquareImagesOnBlackAtEverySize) {
    // The 24-pixel strips for 96 DPI, then the same at 36 (144 DPI) and 48 pixels (192 DPI).
    const struct {
        UINT id;
        int images;
        int size;
    } strips[] = {
        {IDB_MAIN_TOOLBAR, 36, 24},    {IDB_PATH_BARS, 5, 24},    {IDB_REFERER_BAR, 1, 24},
        {IDB_MAIN_TOOLBAR_36, 36, 36}, {IDB_PATH_BARS_36, 5, 36}, {IDB_REFERER_BAR_36, 1, 36},
        {IDB_MAIN_TOOLBAR_48, 36, 48}, {IDB_PATH_BARS_48, 5, 48}, {IDB_REFERER_BAR_48, 1, 48}};
    for (const auto& strip : strips) {
        const int size = strip.size;
        HBITMAP bitmap =
            static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(strip.id),
                                            IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr) << strip.id;
        BITMAP info = {};
        GetObjectW(bitmap, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, size * strip.images) << strip.id;
        EXPECT_EQ(info.bmHeight, size) << strip.id;

        // Read the pixels back as top-down 0x00RRGGBB whatever depth the file has.
        const int width = size * strip.images;
        BITMAPINFO format = {};
        format.bmiHeader = {sizeof format.bmiHeader, width, -size, 1, 32, BI_RGB};
        std::vector<DWORD> pixels(width * size);
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetDIBits(screen, bitmap, 0, size, pixels.data(), &format, DIB_RGB_COLORS), size);
        ReleaseDC(nullptr, screen);
        DeleteObject(bitmap);

        for (int image = 0; image < strip.images; ++image) {
            int drawn = 0;
            int drawnOnEdge = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    bool isArt = (pixels[y * width + size * image + x] & 0xFFFFFF) != 0;
                    drawn += isArt;
                    drawnOnEdge += isArt && (x == 0 || y == 0 || x == size - 1 || y == size - 1);
                }
            }
            EXPECT_EQ(drawnOnEdge, 0) << strip.id << " image " << image;
            EXPECT_GT(drawn, 0) << strip.id << " image " << image;
        }
    }
}

TEST_F(MainWindowTest, TooltipTextIsTheStringOfTheButtonsCommand) {
    CreateWindowUnderTest();
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = window_;
    info.hdr.idFrom = MAKEWPARAM(1005, 0);
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(window_, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.hinst, GetModuleHandleW(nullptr));
    EXPECT_EQ(info.lpszText, MAKEINTRESOURCEW(1005));
}
