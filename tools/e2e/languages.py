"""The product's languages by folder name, each with the locale under which Wine
reports the UI language identifier that language.ini maps to it (Wine follows
LC_ALL; no host locale needs to be installed)."""

LOCALES = {
    "English": "en_US.UTF-8",     # 1033
    "Chinese": "zh_CN.UTF-8",     # 2052
    "ChineseTW": "zh_TW.UTF-8",   # 1028
    "Dutch": "nl_NL.UTF-8",       # 1043
    "French": "fr_FR.UTF-8",      # 1036
    "German": "de_DE.UTF-8",      # 1031
    "Italian": "it_IT.UTF-8",     # 1040
    "Japanese": "ja_JP.UTF-8",    # 1041
    "Spanish": "es_ES.UTF-8",     # 3082
    "Portuguese": "pt_PT.UTF-8",  # 2070
    "Korean": "ko_KR.UTF-8",      # 1042
    "Arabic": "ar_SA.UTF-8",      # 1025
    "Thai": "th_TH.UTF-8",        # 1054
    "Polish": "pl_PL.UTF-8",      # 1045
    "Swedish": "sv_SE.UTF-8",     # 1053
    "Malaysian": "ms_MY.UTF-8",   # 1086
    "Indonesian": "id_ID.UTF-8",  # 1057
}

# The language laid out right to left (the installer decides it by this name).
RIGHT_TO_LEFT = {"Arabic"}
