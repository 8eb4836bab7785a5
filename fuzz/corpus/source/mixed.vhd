entity e is
	port (a : in bit);
end e; -- x
"unterminated
\ext
ended\ x"FF" 16#FF# clk'event
