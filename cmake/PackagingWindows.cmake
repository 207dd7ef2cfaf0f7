# What the Windows installer and the portable zip hold (scripts/package-windows.sh):
# the window, and the command line and the simulator where this build has them.
install(TARGETS quillmere RUNTIME DESTINATION .)
foreach(program quillmere-cli quillmere-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()
install(FILES docs/user-guide.md DESTINATION .)
