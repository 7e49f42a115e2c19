# Live rooms: records, merge, push status and editor rules in the core library; page and dialogs in the GUI library.
target_sources(ondivo_core PRIVATE
    LiveRoom.cpp LiveRoom.h
    LivePushStatus.cpp LivePushStatus.h
    LiveEditorRules.cpp LiveEditorRules.h)
target_sources(ondivo_gui PRIVATE
    LivePage.cpp LivePage.h
    LiveRoomActions.cpp LiveRoomActions.h
    LiveRoomEditor.cpp LiveRoomEditor.h
    LiveLogDialog.cpp LiveLogDialog.h)
