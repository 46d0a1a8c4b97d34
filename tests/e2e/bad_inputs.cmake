# Bad inputs against the packed player (bad_inputs.py). CI
# samples the two large sets (a GIF cut after every byte, every single-byte
# change); by hand, bad_inputs.py without --sample runs them whole.
add_executable(gifplay_make_bad_inputs make_bad_inputs.cpp)
target_link_libraries(gifplay_make_bad_inputs PRIVATE gifplay_gifwriter)
add_test(NAME e2e_bad_inputs
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/bad_inputs.py
          --player $<TARGET_FILE:gifplay>
          --make-inputs $<TARGET_FILE:gifplay_make_bad_inputs>
          --sample 12 --jobs 3)
set_tests_properties(e2e_bad_inputs PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300)
