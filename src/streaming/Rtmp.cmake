# RTMP rooms: the room record, merges and address rules in the core library; page, dialogs and the
# preview window in the GUI library.
target_sources(ondivo_core PRIVATE RtmpRoom.cpp RtmpRoom.h)
target_sources(ondivo_gui PRIVATE
    RtmpPage.cpp RtmpPage.h
    RtmpRoomActions.cpp RtmpRoomActions.h
    RtmpRoomDialog.cpp RtmpRoomDialog.h
    LivePreviewWindow.cpp LivePreviewWindow.h)
