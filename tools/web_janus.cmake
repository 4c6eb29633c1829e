# vantorel-web's publishing through a Janus server: the API's JSON (janus_request, no network)
# and its HTTP client on libsoup (janus_publisher).
pkg_check_modules(VANTOREL_WEB_JANUS REQUIRED IMPORTED_TARGET libsoup-3.0 json-glib-1.0)
add_library(vantorel_web_janus STATIC
  web/janus_publisher.cpp
  web/janus_request.cpp
)
target_include_directories(vantorel_web_janus PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vantorel_web_janus PRIVATE PkgConfig::VANTOREL_WEB_JANUS)
vantorel_settings(vantorel_web_janus)
