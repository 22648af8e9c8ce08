# vantelo_add_server_fixture(<fixture> <mode> [scripts folder]): a host-side test server
# (tools/testserver-http) for the tests that require the fixture. It runs from the
# setup test to the cleanup test; its ports and records live in
# build/<preset>/testserver/<fixture>.
function(vantelo_add_server_fixture fixture mode)
  set(state ${CMAKE_BINARY_DIR}/testserver/${fixture})
  set(server ${CMAKE_SOURCE_DIR}/tools/testserver-http)
  add_test(NAME ${fixture}_start COMMAND ${server}/start ${mode} ${state} ${ARGN})
  add_test(NAME ${fixture}_stop COMMAND ${server}/stop ${state})
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 60)
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()
