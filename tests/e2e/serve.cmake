# `corvelle serve` in a real browser: headless Chromium driven by Debian's chromedriver and
# python3-selenium (scripts/install-deps.sh installs them). Debian's own interpreter, since the
# first python3 on PATH may lack Debian's modules.
foreach(case picture sequence keys video)
    add_test(NAME serve_browser_${case}
        COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/browser/serve_browser_test.py
                $<TARGET_FILE:corvelle> ${case})
    set_tests_properties(serve_browser_${case} PROPERTIES TIMEOUT 180 LABELS browser)
endforeach()
