# Windows build (mingw-w64): Tessaly.scr, its Win32 tests and the test driver, run under Wine.
enable_language(RC)

set(QUILLMERE_WIN32_LIBS wininet windowscodecs comctl32 comdlg32 shell32 ole32 advapi32 user32 gdi32
                         kernel32)
# One self-contained program: the C and C++ run-times are linked in.
set(QUILLMERE_STATIC_LINK -static -static-libgcc -static-libstdc++)

add_library(quillmere_win32 STATIC
    dialogs/CAboutDlg.cpp
    dialogs/CFadeDialog.cpp
    dialogs/CLumerollDlg.cpp
    platform/dialog.cpp
    platform/failure.cpp
    platform/gdi.cpp
    platform/html_help.cpp
    platform/internet.cpp
    platform/registry_profile_store.cpp
    platform/shell_folders.cpp
    platform/wic_decoder.cpp
    platform/win32_file_finder.cpp
    platform/win_app.cpp
    platform/window.cpp
    update/CDialogCheckUpdate.cpp
)
target_compile_definitions(quillmere_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0601)
target_link_libraries(quillmere_win32 PUBLIC quillmere_core ${QUILLMERE_WIN32_LIBS})

# The application object and the windows that read it are compiled into the program itself.
add_executable(Tessaly WIN32
    platform/win_main.cpp
    app/CLumerollApp.cpp
    show/CBackGroundWnd.cpp
    show/CImageWnd.cpp
    show/CPhoto.cpp
    show/CSaverWnd.cpp
    show/saver_activation_guard.cpp
    res/Tessaly.rc
)
set_target_properties(Tessaly PROPERTIES OUTPUT_NAME Tessaly SUFFIX ".scr")
target_link_libraries(Tessaly PRIVATE quillmere_win32)
target_link_options(Tessaly PRIVATE -municode ${QUILLMERE_STATIC_LINK})

# GoogleTest from Debian's source package, built for Windows.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(win32_tests
    tests/win32/registry_profile_store_test.cpp
    tests/win32/win32_file_finder_test.cpp
)
target_link_libraries(win32_tests PRIVATE quillmere_win32 gtest_main)
target_link_options(win32_tests PRIVATE ${QUILLMERE_STATIC_LINK})

add_executable(qmdriver tests/e2e/driver/qmdriver.cpp)
target_compile_definitions(qmdriver PRIVATE UNICODE _UNICODE NOMINMAX)
target_link_libraries(qmdriver PRIVATE user32 advapi32 kernel32)
target_link_options(qmdriver PRIVATE -municode ${QUILLMERE_STATIC_LINK})

# Drives dialogs from outside: their controls, message boxes, opacity and cursor.
add_executable(qmdialogs tests/e2e/driver/dialog_driver.cpp)
target_compile_definitions(qmdialogs PRIVATE UNICODE _UNICODE NOMINMAX)
target_link_libraries(qmdialogs PRIVATE user32 gdi32 advapi32 kernel32)
target_link_options(qmdialogs PRIVATE -municode ${QUILLMERE_STATIC_LINK})

add_executable(photo_bench_win bench/photo_bench.cpp show/CPhoto.cpp)
target_link_libraries(photo_bench_win PRIVATE quillmere_win32 psapi)
target_link_options(photo_bench_win PRIVATE -municode ${QUILLMERE_STATIC_LINK})

add_executable(catalogue_bench_win bench/catalogue_bench.cpp)
target_link_libraries(catalogue_bench_win PRIVATE quillmere_win32)
target_link_options(catalogue_bench_win PRIVATE ${QUILLMERE_STATIC_LINK})

# Every test here needs the Wine session that tests/e2e/wine_session.sh provides.
add_test(NAME win32_tests COMMAND wine $<TARGET_FILE:win32_tests>)
set_tests_properties(win32_tests PROPERTIES TIMEOUT 300)
include(${PROJECT_SOURCE_DIR}/tests/e2e/e2e_tests.cmake)
