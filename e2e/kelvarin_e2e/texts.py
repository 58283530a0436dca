"""What the window must show, written out as a user sees it."""

PROMPT_EN = ("Supported speeds detection for this drive was never done, "
             "do you want to do it now?")
PROMPT_PT = ("A detec\u00e7\u00e3o das velocidades suportadas por esta unidade "
             "nunca foi efectuada, deseja efectua-la agora?")
CAPTIONS_EN = {"Label1": "&Drive:", "Label2": "&Speed:", "btdetect": "De&tect Speeds",
               "btload": "&Load", "bteject": "&Eject"}
CAPTIONS_PT = {"Label1": "&Unidade:", "Label2": "&Velocidade:",
               "btdetect": "&Detectar Velocidades", "btload": "&Carregar", "bteject": "&Ejectar"}
HINT = "Clique aqui para detectar as velocidades suportadas pela unidade seleccionada"
NOTICE = "Copyright \u00a9 2026 Orun "  # right-justified, ending in one blank
# Left, top, width of the controls as designed (English, 96 pixels per inch).
DESIGN = {"Label1": (8, 12, None), "cbdrive": (48, 8, 356), "Label2": (8, 44, None),
          "cbvel": (48, 40, 53), "btdetect": (111, 41, 117), "btload": (291, 41, 53),
          "bteject": (351, 41, 53), "Bevel1": (0, 71, "full"), "Label5": (0, 76, "full")}
RIGHT_ANCHORED = ("cbdrive", "cbvel", "btdetect", "btload", "bteject")
