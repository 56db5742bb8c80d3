01001Ventas 2025|Pg.|### '','',_DEVPAG
02001Zona Periodo      Importe '' /CONTINUE%=1,2
04001Solo en la primera pagina
06001\  \|\      \|####,###.## zona{ventas},periodo{ventas},importe{ventas} /MAXLINE%=-2 /TOTALBASE%=1
08001Total        |####,###.## '',_#(3)
12001- - - ''
