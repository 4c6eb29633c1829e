# vantorel-web: the page's signalling and status (portable) and its HTTP server (libsoup 3).
add_library(vantorel_web_service STATIC
  web/sdp_offer.cpp
  web/web_status.cpp
  web/whep_service.cpp
)
target_include_directories(vantorel_web_service PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vantorel_web_service PUBLIC vantorel_reception vantorel_profile)
vantorel_settings(vantorel_web_service)

find_package(PkgConfig REQUIRED)
pkg_check_modules(VANTOREL_WEB_HTTP REQUIRED IMPORTED_TARGET libsoup-3.0 libqrencode)
add_library(vantorel_web_http STATIC
  web/http_server.cpp
  web/qr_svg.cpp
)
target_link_libraries(vantorel_web_http PUBLIC vantorel_web_service PRIVATE PkgConfig::VANTOREL_WEB_HTTP)
vantorel_settings(vantorel_web_http)

# vantorel-web's media side: the reception graph and the WebRTC output.
pkg_check_modules(VANTOREL_GST_WEB REQUIRED IMPORTED_TARGET
  gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0 gstreamer-sdp-1.0 gstreamer-webrtc-1.0 nice)
add_library(vantorel_web_media STATIC web/web_graph.cpp web/web_output.cpp)
target_include_directories(vantorel_web_media PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vantorel_web_media PUBLIC vantorel_receiver_media PkgConfig::VANTOREL_GST_WEB)
vantorel_settings(vantorel_web_media)

# vantorel-web
add_executable(vantorel-web web/main.cpp)
target_link_libraries(vantorel-web PRIVATE vantorel_web_http vantorel_web_janus vantorel_web_media
                      vantorel_network_options vantorel_trust_options)
vantorel_program(vantorel-web)
add_dependencies(vantorel-web vantorel_web_page)
