# libFuzzer targets for the co-op wire readers the raid-map vault file reader and the vault folder loader (built with -DKS_FUZZ=ON).
foreach(reader IN ITEMS PlayerStatePacket VoicePacket ReplayClip RaidMapFile VaultFolder)
  ks_add_fuzzer(creator_${reader} SOURCES ${CMAKE_CURRENT_LIST_DIR}/Fuzz${reader}.cpp LIBS MarblewickCreatorStudio)
endforeach()
