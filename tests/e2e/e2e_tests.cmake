# End-to-end tests: each tests/e2e/test_*.py module drives the built Tessaly.scr from outside
# through qmdriver. They need the Wine session of tests/e2e/wine_session.sh (DISPLAY and
# WINEPREFIX), e.g. `bash tests/e2e/wine_session.sh ctest --preset windows`.

# A new module is picked up at the next build without editing this file.
file(GLOB QUILLMERE_E2E_MODULES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.py)

foreach(module_file IN LISTS QUILLMERE_E2E_MODULES)
    get_filename_component(module ${module_file} NAME_WE)
    add_test(NAME e2e.${module}
             COMMAND python3 -m unittest -v ${module}
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e.${module} PROPERTIES
        # No bytecode: the modules run from the source tree.
        ENVIRONMENT
            "QM_SCR=$<TARGET_FILE:Tessaly>;QM_DRIVER=$<TARGET_FILE:qmdriver>;QM_DIALOG_DRIVER=$<TARGET_FILE:qmdialogs>;PYTHONDONTWRITEBYTECODE=1"
        LABELS e2e
        TIMEOUT 300)
endforeach()
