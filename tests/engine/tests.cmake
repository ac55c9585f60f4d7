# The session tests over real sockets need the test servers (Dovecot as root,
# the scripted server): label them so they can be run or left out as a group.
if(TARGET engine_pop3_servers_test AND NOT WIN32)
  set_tests_properties(engine_pop3_servers_test PROPERTIES LABELS "native;engine;servers" TIMEOUT 600)
endif()
