01001Antes
     :INCLUDE 'incl'+'uida.inc'
     :DYNAMIC_LINE dinamicas.txt
06001Despues
